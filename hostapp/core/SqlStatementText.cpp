#include "SqlStatementText.h"

#include <QSet>

namespace kalmora {

namespace {

bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Scans one token of skippable or quoted text starting at i; returns the index
// after it, or i when the character at i starts none of them.
qsizetype skipQuotedOrComment(const QString &s, qsizetype i, bool postgres)
{
    const qsizetype n = s.size();
    const QChar c = s[i];
    const QChar next = i + 1 < n ? s[i + 1] : QChar();
    if (c == u'-' && next == u'-') {
        const qsizetype eol = s.indexOf(u'\n', i);
        return eol < 0 ? n : eol + 1;
    }
    if (c == u'/' && next == u'*') {
        int depth = 1;
        qsizetype j = i + 2;
        while (j < n && depth > 0) {
            if (postgres && s[j] == u'/' && j + 1 < n && s[j + 1] == u'*') {
                ++depth;
                j += 2;
            } else if (s[j] == u'*' && j + 1 < n && s[j + 1] == u'/') {
                --depth;
                j += 2;
            } else {
                ++j;
            }
        }
        return j;
    }
    if (c == u'\'' || c == u'"' || (!postgres && (c == u'`' || c == u'['))) {
        // E'...' (PostgreSQL escape string): a backslash escapes the next character.
        const bool escapes = postgres && c == u'\'' && i > 0 && (s[i - 1] == u'E' || s[i - 1] == u'e')
            && (i < 2 || !isIdentChar(s[i - 2]));
        const QChar close = c == u'[' ? QChar(u']') : c;
        qsizetype j = i + 1;
        while (j < n) {
            if (escapes && s[j] == u'\\') {
                j += 2;
                continue;
            }
            if (s[j] == close) {
                if (j + 1 < n && s[j + 1] == close && close != u']') {
                    j += 2; // doubled quote inside the literal
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (postgres && c == u'$' && (i == 0 || !isIdentChar(s[i - 1]))) {
        // $tag$ ... $tag$ where tag is empty or an identifier not starting with a digit.
        qsizetype j = i + 1;
        while (j < n && s[j] != u'$' && (s[j].isLetterOrNumber() || s[j] == u'_'))
            ++j;
        if (j < n && s[j] == u'$' && !(j > i + 1 && s[i + 1].isDigit())) {
            const QString tag = s.mid(i, j - i + 1);
            const qsizetype end = s.indexOf(tag, j + 1);
            return end < 0 ? n : end + tag.size();
        }
    }
    return i;
}

bool isBlankOrComment(const QString &s, qsizetype from, bool postgres)
{
    qsizetype i = from;
    while (i < s.size()) {
        if (s[i].isSpace() || s[i] == u';') {
            ++i;
            continue;
        }
        const bool comment
            = (s[i] == u'-' || s[i] == u'/') && i + 1 < s.size() && s[i + 1] == (s[i] == u'-' ? u'-' : u'*');
        if (!comment)
            return false;
        i = skipQuotedOrComment(s, i, postgres);
    }
    return true;
}

} // namespace

SqlStatementText::SqlStatementText(const QString &sql, Dialect dialect)
{
    const bool postgres = dialect == Dialect::PostgreSQL;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    qsizetype start = -1; // first character of the statement proper
    qsizetype end = 0; // one past its last significant character
    while (i < n) {
        const qsizetype after = skipQuotedOrComment(sql, i, postgres);
        if (after != i) {
            const bool comment = sql[i] == u'-' || sql[i] == u'/';
            if (!comment) {
                if (start < 0)
                    start = i;
                end = after;
            }
            i = after;
            continue;
        }
        const QChar c = sql[i];
        if (c == u';') {
            if (start >= 0) {
                m_several = !isBlankOrComment(sql, i + 1, postgres);
                break;
            }
            ++i; // empty statements before the first one are nothing
            continue;
        }
        if (!c.isSpace()) {
            if (start < 0)
                start = i;
            end = i + 1;
        }
        ++i;
    }
    if (start >= 0)
        m_statement = sql.mid(start, end - start);
    qsizetype k = 0;
    while (k < m_statement.size() && (m_statement[k].isLetter() || m_statement[k] == u'_'))
        ++k;
    m_keyword = m_statement.left(k).toUpper();
}

bool SqlStatementText::isTransactionControl() const
{
    static const QSet<QString> words {
        QStringLiteral("BEGIN"),
        QStringLiteral("START"),
        QStringLiteral("COMMIT"),
        QStringLiteral("END"),
        QStringLiteral("ROLLBACK"),
        QStringLiteral("ABORT"),
        QStringLiteral("SAVEPOINT"),
        QStringLiteral("RELEASE"),
        QStringLiteral("PREPARE"),
        QStringLiteral("ATTACH"),
        QStringLiteral("DETACH"),
    };
    return words.contains(m_keyword);
}

bool SqlStatementText::looksLikeQuery() const
{
    return m_keyword == QLatin1String("SELECT") || m_keyword == QLatin1String("WITH")
        || m_keyword == QLatin1String("VALUES");
}

} // namespace kalmora
