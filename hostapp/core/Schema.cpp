#include "Schema.h"

#include "SqlExec.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace kalmora {

namespace {

struct Table
{
    const char *name;
    const char *columns;
};

constexpr Table kTables[] = {
    { "tbsqda",
        "f_bmbm varchar(12) not null, f_sqbm varchar(12) not null, f_sqmc varchar(40) not null, "
        "f_jb integer not null, f_mj integer not null default 1, primary key (f_bmbm, f_sqbm)" },
    { "tbsqfj", "f_bmbm varchar(12) not null primary key, f_bmmc varchar(40) not null, f_fjjg varchar(12) not null" },
    { "tbxtcs",
        "f_csmc varchar(40) not null primary key, f_csz varchar(200) not null default '', "
        "f_cssm varchar(100) not null default ''" },
    { "tbzyda", "f_zybm varchar(12) not null primary key, f_zymc varchar(20) not null" },
};

} // namespace

QStringList Schema::tableNames()
{
    QStringList names;
    for (const Table &t : kTables)
        names << QString::fromLatin1(t.name);
    return names;
}

QStringList Schema::columnNames(const QString &table)
{
    QStringList names;
    for (const Table &t : kTables) {
        if (table != QLatin1String(t.name))
            continue;
        // Each column definition starts with its name (every name starts with
        // "f_"); the pieces of the key clause do not.
        for (const QString &part : QString::fromLatin1(t.columns).split(u',')) {
            const QString word = part.trimmed().section(u' ', 0, 0);
            if (word.startsWith(QLatin1String("f_")) && !word.contains(u')') && !names.contains(word))
                names << word;
        }
    }
    return names;
}

QStringList Schema::missingTables(const QSqlDatabase &db)
{
    QStringList present;
    for (const QString &t : db.tables(QSql::Tables))
        present << t.section(u'.', -1).toLower(); // PostgreSQL names tables outside "public" with their schema
    QStringList missing;
    for (const QString &t : tableNames()) {
        if (!present.contains(t))
            missing << t;
    }
    return missing;
}

void Schema::create(const QSqlDatabase &db)
{
    for (const Table &t : kTables) {
        runSql(db,
            QStringLiteral("create table if not exists %1 (%2)").arg(QLatin1String(t.name), QLatin1String(t.columns)),
            {}, QStringLiteral("无法建立数据表 %1。").arg(QLatin1String(t.name)));
    }
    ensureWidthChecks(db);
}

void Schema::ensureWidthChecks(const QSqlDatabase &db)
{
    // PostgreSQL refuses a text wider than its varchar(n) itself; SQLite
    // stores any length, so a trigger per table and statement kind does.
    if (db.driverName() != QLatin1String("QSQLITE"))
        return;
    static const QRegularExpression varchar(QStringLiteral("(\\w+) varchar\\((\\d+)\\)"));
    for (const Table &t : kTables) {
        QStringList tests, widths;
        for (const QRegularExpressionMatch &m : varchar.globalMatch(QLatin1String(t.columns))) {
            tests << QStringLiteral("length(new.%1) > %2").arg(m.captured(1), m.captured(2));
            widths << QStringLiteral("%1 %2").arg(m.captured(1), m.captured(2));
        }
        const QString message = QStringLiteral("%1 的文本超出字段宽度（最多字符数：%2）")
                                    .arg(QLatin1String(t.name), widths.join(QStringLiteral("，")));
        for (const char *event : { "insert", "update" }) {
            runSql(db,
                QStringLiteral("create trigger if not exists %1_width_%2 before %2 on %1 when %3 "
                               "begin select raise(abort, '%4'); end")
                    .arg(QLatin1String(t.name), QLatin1String(event), tests.join(QStringLiteral(" or ")), message),
                {}, QStringLiteral("无法建立数据表 %1 的宽度检查。").arg(QLatin1String(t.name)));
        }
    }
}

QStringList Schema::widthCheckNames()
{
    QStringList names;
    for (const Table &t : kTables) {
        for (const char *event : { "insert", "update" })
            names << QStringLiteral("%1_width_%2").arg(QLatin1String(t.name), QLatin1String(event));
    }
    return names;
}

bool Schema::hasWidthChecks(const QSqlDatabase &db)
{
    if (db.driverName() != QLatin1String("QSQLITE"))
        return true;
    QStringList wanted = widthCheckNames();
    QSqlQuery q = runSql(db, QStringLiteral("select name from sqlite_master where type = 'trigger'"), {},
        QStringLiteral("无法读取数据表的宽度检查。"));
    while (q.next())
        wanted.removeAll(q.value(0).toString());
    return wanted.isEmpty();
}

void Schema::drop(const QSqlDatabase &db)
{
    for (const Table &t : kTables) {
        runSql(db, QStringLiteral("drop table if exists %1").arg(QLatin1String(t.name)), {},
            QStringLiteral("无法删除数据表 %1。").arg(QLatin1String(t.name)));
    }
}

} // namespace kalmora
