// The host's tables. The same statements serve SQLite and PostgreSQL.
//
//   tbsqda  trade areas: f_bmbm department, f_sqbm code, f_sqmc name, f_jb level,
//           f_mj leaf flag (1: no area below it); key f_bmbm + f_sqbm
//   tbsqfj  departments and their code-level structure: f_bmbm, f_bmmc name,
//           f_fjjg structure ("2223": one digit per level, the level's code length)
//   tbxtcs  system parameters: f_csmc key, f_csz value, f_cssm description
//   tbzyda  operators: f_zybm code, f_zymc name
#pragma once

#include <QSqlDatabase>
#include <QStringList>

namespace kalmora {

class Schema
{
public:
    static QStringList tableNames();
    // The columns of host table `table` (lower case); empty for any other name.
    static QStringList columnNames(const QString &table);
    // The host tables that `db` does not have yet.
    static QStringList missingTables(const QSqlDatabase &db);
    // Creates whichever tables are missing. Throws SqlFailure.
    static void create(const QSqlDatabase &db);
    // Drops all host tables (tests, and a reset a user asks for explicitly).
    static void drop(const QSqlDatabase &db);
};

} // namespace kalmora
