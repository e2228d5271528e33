#include "AreaSql.h"

namespace sqda::AreaSql {

QString literal(QStringView text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('\'');
    for (QChar c : text) {
        if (c == QLatin1Char('\''))
            out += QLatin1Char('\'');
        out += c;
    }
    out += QLatin1Char('\'');
    return out;
}

QString treeLoad(const QString &department)
{
    // The two trailing spaces are part of the statement the host has always seen.
    return QStringLiteral("select * from tbSqda where f_bmbm=") + literal(department)
        + QStringLiteral(" order by F_Sqbm  ");
}

QString recordLoad(const QString &department, const QString &code)
{
    return QStringLiteral("select * from tbsqda where f_bmbm=") + literal(department) + QStringLiteral(" and f_sqbm=")
        + literal(code);
}

QString rename(const QString &name, const QString &code, const QString &department)
{
    return QStringLiteral("update tbsqda set f_sqmc=") + literal(name) + QStringLiteral(" where f_sqbm=")
        + literal(code) + QStringLiteral(" and f_bmbm=") + literal(department);
}

} // namespace sqda::AreaSql
