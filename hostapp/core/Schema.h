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
    // Declared widths (characters) of the columns the operations take as
    // arguments; the statements in Schema.cpp use the same numbers.
    static constexpr int DepartmentCodeSize = 12; // f_bmbm
    static constexpr int AreaCodeSize = 12; // f_sqbm
    static constexpr int AreaNameSize = 40; // f_sqmc
    static constexpr int OperatorCodeSize = 12; // f_zybm

    static QStringList tableNames();
    // The columns of host table `table` (lower case); empty for any other name.
    static QStringList columnNames(const QString &table);
    // The host tables that `db` does not have yet.
    static QStringList missingTables(const QSqlDatabase &db);
    // Creates whichever tables are missing. Throws SqlFailure.
    static void create(const QSqlDatabase &db);
    // Makes SQLite refuse a text wider than its column, as PostgreSQL does
    // (triggers; created with the tables, added to an older database at open).
    static void ensureWidthChecks(const QSqlDatabase &db);
    // The names of those checks' triggers.
    static QStringList widthCheckNames();
    // Whether `db` has every width check already (reads only; always true on
    // PostgreSQL, whose columns check themselves).
    static bool hasWidthChecks(const QSqlDatabase &db);
    // Drops all host tables (tests, and a reset a user asks for explicitly).
    static void drop(const QSqlDatabase &db);
};

} // namespace kalmora
