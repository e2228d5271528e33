#include "QuerySql.h"

#include "env/TranslateSql.h"

namespace sqda::QuerySql {

namespace {

// A department code is data: a quote in it cannot end the literal early.
QString stringLiteral(const QString &text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

} // namespace

QString searchHead(const QString &department)
{
    QString head = QStringLiteral("select * from tbsqda sqda where 1=1 ");
    if (!department.isEmpty())
        head += QStringLiteral("and sqda.f_bmbm=") + stringLiteral(department);
    return head;
}

QString searchStatement(const QString &department, const QString &whereText)
{
    const QString tail = whereText.trimmed().isEmpty()
        ? QStringLiteral(" order by sqda.f_sqbm")
        : QStringLiteral(" and (") + whereText + QStringLiteral(") order by sqda.f_sqbm");
    return searchHead(department) + tail;
}

QString forDatabase(const QString &statement, const QString &databaseKind)
{
    if (databaseKind == QLatin1String("DB2"))
        return TranslateSql(statement, QStringLiteral("DB2"), QString());
    return statement;
}

} // namespace sqda::QuerySql
