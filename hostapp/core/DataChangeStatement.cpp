#include "DataChangeStatement.h"

#include "Schema.h"

#include <QList>
#include <QSet>

namespace kalmora {

namespace {

struct Token
{
    enum Kind { Word, Text, Number, Symbol } kind;
    QString text; // words in lower case
};

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::optional<QList<Token>> tokenize(const QString &s, QString *why)
{
    QList<Token> out;
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = s[i];
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            ++i;
        } else if (isAsciiLetter(c)) {
            qsizetype j = i + 1;
            while (j < n && (isAsciiLetter(s[j]) || isDigit(s[j])))
                ++j;
            out.append({ Token::Word, s.mid(i, j - i).toLower() });
            i = j;
        } else if (isDigit(c)) {
            qsizetype j = i + 1;
            while (j < n && isDigit(s[j]))
                ++j;
            if (j + 1 < n && s[j] == u'.' && isDigit(s[j + 1])) {
                j += 2;
                while (j < n && isDigit(s[j]))
                    ++j;
            }
            if (j < n && (isAsciiLetter(s[j]) || s[j] == u'.')) {
                *why = QStringLiteral("数字“%1”后面紧跟着其他字符。").arg(s.mid(i, j + 1 - i));
                return std::nullopt;
            }
            out.append({ Token::Number, s.mid(i, j - i) });
            i = j;
        } else if (c == u'\'') {
            // '' is a quote inside the text; a backslash is an ordinary
            // character on both engines (PostgreSQL sessions run with
            // standard_conforming_strings on).
            qsizetype j = i + 1;
            for (;;) {
                if (j >= n) {
                    *why = QStringLiteral("文字常量缺少结尾的单引号。");
                    return std::nullopt;
                }
                if (s[j] == u'\'') {
                    if (j + 1 < n && s[j + 1] == u'\'') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out.append({ Token::Text, s.mid(i, j + 1 - i) });
            i = j + 1;
        } else {
            static const QStringList symbols { QStringLiteral("<>"), QStringLiteral("!="), QStringLiteral("<="),
                QStringLiteral(">="), QStringLiteral("||"), QStringLiteral("="), QStringLiteral("<"),
                QStringLiteral(">"), QStringLiteral(","), QStringLiteral("("), QStringLiteral(")"), QStringLiteral("+"),
                QStringLiteral("-"), QStringLiteral("*"), QStringLiteral("/") };
            const auto it = std::find_if(symbols.begin(), symbols.end(),
                [&](const QString &sym) { return QStringView(s).mid(i).startsWith(sym); });
            // "--" and "/*" start comments, which are not accepted.
            if (it == symbols.end() || QStringView(s).mid(i).startsWith(u"--")
                || QStringView(s).mid(i).startsWith(u"/*")) {
                *why = QStringLiteral("不接受的字符“%1”（位置 %2）。").arg(QStringView(s).mid(i, 2)).arg(i + 1);
                return std::nullopt;
            }
            out.append({ Token::Symbol, *it });
            i += it->size();
        }
    }
    return out;
}

bool isSymbol(const QList<Token> &t, qsizetype i, QStringView symbol)
{
    return i < t.size() && t[i].kind == Token::Symbol && t[i].text == symbol;
}

bool isWord(const QList<Token> &t, qsizetype i, QStringView word)
{
    return i < t.size() && t[i].kind == Token::Word && t[i].text == word;
}

} // namespace

std::optional<DataChangeStatement> DataChangeStatement::parse(const QString &sql, QString *why)
{
    QString reason;
    const auto refuse = [&](const QString &text) -> std::optional<DataChangeStatement> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const std::optional<QList<Token>> tokens = tokenize(sql, &reason);
    if (!tokens)
        return refuse(reason);
    const QList<Token> &t = *tokens;

    DataChangeStatement st;
    qsizetype at = 0;
    if (isWord(t, 0, u"update")) {
        st.verb = QStringLiteral("UPDATE");
        at = 1;
    } else if (isWord(t, 0, u"delete") && isWord(t, 1, u"from")) {
        st.verb = QStringLiteral("DELETE");
        at = 2;
    } else if (isWord(t, 0, u"insert") && isWord(t, 1, u"into")) {
        st.verb = QStringLiteral("INSERT");
        at = 2;
    } else {
        return refuse(QStringLiteral("只能执行 UPDATE、INSERT INTO 或 DELETE FROM 语句。"));
    }
    if (at >= t.size() || t[at].kind != Token::Word || !Schema::tableNames().contains(t[at].text))
        return refuse(
            QStringLiteral("只能修改商圈档案的数据表（%1）。").arg(Schema::tableNames().join(QStringLiteral("、"))));
    st.table = t[at++].text;
    const QStringList columns = Schema::columnNames(st.table);

    // The clause keyword that must follow the table.
    if (st.verb == QLatin1String("UPDATE") && !isWord(t, at, u"set"))
        return refuse(QStringLiteral("UPDATE 语句的表名后应为 SET。"));
    if (st.verb == QLatin1String("DELETE") && at < t.size() && !isWord(t, at, u"where"))
        return refuse(QStringLiteral("DELETE 语句的表名后只能有 WHERE 条件。"));
    if (st.verb == QLatin1String("INSERT") && !isWord(t, at, u"values") && !isSymbol(t, at, u"("))
        return refuse(QStringLiteral("INSERT 语句的表名后应为列名表或 VALUES。"));

    // Every word left is a column of the table or one of the few keywords of
    // values and conditions; with no other word, there can be no function, no
    // sub-query and no other table. Brackets must balance.
    static const QSet<QString> keywords { QStringLiteral("set"), QStringLiteral("where"), QStringLiteral("values"),
        QStringLiteral("and"), QStringLiteral("or"), QStringLiteral("not"), QStringLiteral("in"),
        QStringLiteral("like"), QStringLiteral("is"), QStringLiteral("null"), QStringLiteral("between") };
    int depth = 0;
    bool seenWhere = false, seenValues = false, seenSet = false;
    for (qsizetype i = at; i < t.size(); ++i) {
        const Token &tok = t[i];
        if (tok.kind == Token::Word) {
            if (columns.contains(tok.text)) {
                if (isSymbol(t, i + 1, u"("))
                    return refuse(QStringLiteral("语句中不能调用函数（%1）。").arg(tok.text));
                continue;
            }
            if (!keywords.contains(tok.text))
                return refuse(QStringLiteral("语句中有不接受的名称“%1”：只能使用表 %2 的列。").arg(tok.text, st.table));
            // Clause keywords once, in their place, outside brackets.
            bool &seen = tok.text == QLatin1String("where") ? seenWhere
                : tok.text == QLatin1String("values")       ? seenValues
                : tok.text == QLatin1String("set")          ? seenSet
                                                            : seenWhere;
            if (tok.text == QLatin1String("where") || tok.text == QLatin1String("values")
                || tok.text == QLatin1String("set")) {
                const bool allowed = depth == 0 && !seen
                    && ((tok.text == QLatin1String("set") && st.verb == QLatin1String("UPDATE") && i == at)
                        || (tok.text == QLatin1String("values") && st.verb == QLatin1String("INSERT"))
                        || (tok.text == QLatin1String("where") && st.verb != QLatin1String("INSERT")));
                if (!allowed)
                    return refuse(QStringLiteral("“%1”用错了位置。").arg(tok.text.toUpper()));
                seen = true;
            }
        } else if (tok.kind == Token::Symbol) {
            if (tok.text == u'(')
                ++depth;
            else if (tok.text == u')' && --depth < 0)
                return refuse(QStringLiteral("括号不配对。"));
        }
    }
    if (depth != 0)
        return refuse(QStringLiteral("括号不配对。"));
    if (st.verb == QLatin1String("INSERT") && !seenValues)
        return refuse(QStringLiteral("INSERT 语句应有 VALUES。"));
    // The screens change one area at a time; a change of a whole table is no
    // call of theirs.
    if (st.verb != QLatin1String("INSERT") && !seenWhere)
        return refuse(QStringLiteral("%1 语句必须有 WHERE 条件。").arg(st.verb));
    return st;
}

} // namespace kalmora
