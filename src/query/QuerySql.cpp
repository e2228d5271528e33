#include "QuerySql.h"

#include "env/TranslateSql.h"

#include <QStringView>

#include <algorithm>

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

namespace {

// DB2 and Oracle take an escape only before "%", "_" or the escape itself, and
// "[" is no syntax there: the pattern's "\[" becomes a plain "[".
QString withoutBracketEscapes(const QString &literal)
{
    QString out;
    out.reserve(literal.size());
    for (qsizetype i = 0; i < literal.size(); ++i) {
        if (literal[i] == QLatin1Char('\\') && i + 1 < literal.size()) {
            if (literal[i + 1] != QLatin1Char('['))
                out += literal[i];
            out += literal[++i];
            continue;
        }
        out += literal[i];
    }
    return out;
}

} // namespace

QString forDatabase(const QString &statement, const QString &databaseKind)
{
    const bool db2 = databaseKind == QLatin1String("DB2");
    if (!db2 && databaseKind != QLatin1String("ORACLE"))
        return statement;
    // The statement is walked as code and single-quoted literals. The DB2
    // rewrite goes over the code only: a typed value is data, and a search for
    // " TB1" or "len(" must look for what was typed, as the filter does.
    static const QString escapeClause = QStringLiteral(" ESCAPE '\\'");
    QString out;
    QString code;
    const auto flushCode = [&] {
        out += db2 ? TranslateSql(code, QStringLiteral("DB2"), QString()) : code;
        code.clear();
    };
    const qsizetype n = statement.size();
    for (qsizetype i = 0; i < n;) {
        if (statement[i] != QLatin1Char('\'')) {
            code += statement[i++];
            continue;
        }
        qsizetype end = i + 1; // the closing quote; '' inside stays in the literal
        while (end < n
            && (statement[end] != QLatin1Char('\'') || (end + 1 < n && statement[end + 1] == QLatin1Char('\'')))) {
            end += statement[end] == QLatin1Char('\'') ? 2 : 1;
        }
        end = std::min(end, n - 1);
        QString literal = statement.mid(i, end - i + 1);
        if (QStringView(statement).mid(end + 1).startsWith(escapeClause))
            literal = withoutBracketEscapes(literal);
        flushCode();
        out += literal;
        i = end + 1;
    }
    flushCode();
    return out;
}

} // namespace sqda::QuerySql
