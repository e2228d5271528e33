// The demo chain a new database starts with: departments with different
// code-level structures, a few hundred trade areas over up to four levels, a
// complete system-parameter table and a handful of operators. The content is
// fixed, so every fresh database looks the same.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace kalmora {

class DemoData
{
public:
    struct Department
    {
        QString code;
        QString name;
        QString levels; // "2223"
    };
    struct Area
    {
        QString department;
        QString code;
        QString name;
        int level;
        int leaf; // 1 when no area lies below it
    };
    struct Parameter
    {
        QString key;
        QString value;
        QString description;
    };
    struct Operator
    {
        QString code;
        QString name;
    };

    static QList<Department> departments();
    static QList<Area> areas(); // in department and code order
    static QList<Parameter> parameters();
    static QList<Operator> operators();

    // Inserts all of it. Throws SqlFailure; run it inside a transaction.
    static void seed(const QSqlDatabase &db);
};

} // namespace kalmora
