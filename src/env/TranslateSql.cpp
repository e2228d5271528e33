#include "env/TranslateSql.h"

#include "env/NumberText.h"

namespace sqda {

namespace {

// Only the ASCII letters fold: other characters, Chinese text included, are
// never touched, so a match cannot start or end inside one of them.
QString asciiUpper(const QString &s)
{
    QString out = s;
    for (QChar &c : out) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

struct Pass
{
    QString pattern;
    QString searchReplacement;
    QString outputReplacement;
};

// One pass over the two copies, which always have equal lengths: a position found
// in the upper-case search copy is valid in the output copy.
void runPass(const Pass &p, QString &search, QString &output)
{
    QString newSearch, newOutput;
    qsizetype from = 0;
    qsizetype at;
    while ((at = search.indexOf(p.pattern, from, Qt::CaseSensitive)) >= 0) {
        newSearch += QStringView(search).mid(from, at - from);
        newOutput += QStringView(output).mid(from, at - from);
        newSearch += p.searchReplacement;
        newOutput += p.outputReplacement;
        from = at + p.pattern.size();
    }
    if (from == 0)
        return;
    newSearch += QStringView(search).mid(from);
    newOutput += QStringView(output).mid(from);
    search = newSearch;
    output = newOutput;
}

} // namespace

QString TranslateSql(const QString &sql, const QString &kind, const QString &schema)
{
    const QString trimmedSchema = trimBlanks(schema);
    const QString prefix = trimmedSchema.isEmpty() ? QString() : trimmedSchema + u'.';
    if (kind != QLatin1String("DB2"))
        return sql;

    const Pass passes[] = {
        { QStringLiteral("ISNULL("), QStringLiteral("COALESCE("), QStringLiteral("Coalesce(") },
        { QStringLiteral("LEN("), QStringLiteral("LENGTH("), QStringLiteral("Length(") },
        { QStringLiteral(" TB"), u' ' + prefix + QStringLiteral("TB"), u' ' + prefix + QStringLiteral("tb") },
        { QStringLiteral(",TB"), u',' + prefix + QStringLiteral("TB"), u',' + prefix + QStringLiteral("tb") },
        { QStringLiteral("=TB"), u'=' + prefix + QStringLiteral("TB"), u'=' + prefix + QStringLiteral("tb") },
        { QStringLiteral("SUBSTRING"), QStringLiteral("substr"), QStringLiteral("substr") },
    };
    QString search = asciiUpper(sql);
    QString output = sql;
    for (const Pass &p : passes)
        runPass(p, search, output);
    return output;
}

} // namespace sqda
