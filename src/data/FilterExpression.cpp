#include "FilterExpression.h"

namespace sqda {

namespace {

// Deeper nesting than any condition list produces; the limit keeps a hostile text
// from exhausting the stack of the recursive parser.
constexpr int MaxDepth = 200;

struct Token
{
    enum class Type : quint8 { End, Name, Text, Number, LParen, RParen, Comma, Op, Minus, Keyword, Bad };
    Type type = Type::End;
    QString text; // name, unquoted text, number as written, operator, or keyword in upper case
    int position = 0;
    bool bracketed = false; // [name]: never a keyword
};

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$' || c == u'#';
}

class Lexer
{
public:
    explicit Lexer(QStringView s)
        : m_s(s)
    {
    }

    Token next()
    {
        while (m_i < m_s.size() && m_s[m_i].isSpace())
            ++m_i;
        Token t;
        t.position = int(m_i) + 1;
        if (m_i >= m_s.size())
            return t;
        const QChar c = m_s[m_i];
        if (c == u'\'')
            return text(t);
        if (c == u'[')
            return bracketName(t);
        if (c.isDigit() || (c == u'.' && m_i + 1 < m_s.size() && m_s[m_i + 1].isDigit()))
            return number(t);
        if (isNameStart(c)) {
            const qsizetype start = m_i;
            while (m_i < m_s.size() && isNamePart(m_s[m_i]))
                ++m_i;
            t.text = m_s.mid(start, m_i - start).toString();
            static const char *const keywords[] = { "AND", "OR", "NOT", "LIKE", "BETWEEN", "IN", "IS", "NULL" };
            for (const char *k : keywords) {
                if (t.text.compare(QLatin1String(k), Qt::CaseInsensitive) == 0) {
                    t.type = Token::Type::Keyword;
                    t.text = QLatin1String(k);
                    return t;
                }
            }
            t.type = Token::Type::Name;
            return t;
        }
        ++m_i;
        switch (c.unicode()) {
        case u'(':
            t.type = Token::Type::LParen;
            t.text = QStringLiteral("(");
            return t;
        case u')':
            t.type = Token::Type::RParen;
            t.text = QStringLiteral(")");
            return t;
        case u',':
            t.type = Token::Type::Comma;
            t.text = QStringLiteral(",");
            return t;
        case u'-':
            t.type = Token::Type::Minus;
            t.text = QStringLiteral("-");
            return t;
        case u'=':
            t.type = Token::Type::Op;
            t.text = QStringLiteral("=");
            return t;
        case u'<':
        case u'>':
        case u'!': {
            t.type = Token::Type::Op;
            t.text = c;
            if (m_i < m_s.size() && (m_s[m_i] == u'=' || (c == u'<' && m_s[m_i] == u'>'))) {
                t.text += m_s[m_i];
                ++m_i;
            }
            if (t.text == QLatin1String("!"))
                t.type = Token::Type::Bad;
            return t;
        }
        default:
            break;
        }
        t.type = Token::Type::Bad;
        t.text = c;
        if (c.isHighSurrogate() && m_i < m_s.size())
            t.text += m_s[m_i++];
        return t;
    }

private:
    Token text(Token t)
    {
        ++m_i; // opening quote
        for (;;) {
            if (m_i >= m_s.size()) {
                t.type = Token::Type::Bad;
                t.text = QStringLiteral("'"); // unterminated
                return t;
            }
            const QChar c = m_s[m_i++];
            if (c == u'\'') {
                if (m_i < m_s.size() && m_s[m_i] == u'\'') {
                    t.text += u'\'';
                    ++m_i;
                    continue;
                }
                t.type = Token::Type::Text;
                return t;
            }
            t.text += c;
        }
    }

    Token bracketName(Token t)
    {
        const qsizetype close = m_s.indexOf(u']', m_i + 1);
        if (close < 0) {
            t.type = Token::Type::Bad;
            t.text = QStringLiteral("[");
            m_i = m_s.size();
            return t;
        }
        t.type = Token::Type::Name;
        t.bracketed = true;
        t.text = m_s.mid(m_i + 1, close - m_i - 1).trimmed().toString();
        m_i = close + 1;
        return t;
    }

    Token number(Token t)
    {
        const qsizetype start = m_i;
        while (m_i < m_s.size() && m_s[m_i].isDigit())
            ++m_i;
        if (m_i < m_s.size() && m_s[m_i] == u'.') {
            ++m_i;
            while (m_i < m_s.size() && m_s[m_i].isDigit())
                ++m_i;
        }
        if (m_i < m_s.size() && (m_s[m_i] == u'e' || m_s[m_i] == u'E')) {
            qsizetype j = m_i + 1;
            if (j < m_s.size() && (m_s[j] == u'+' || m_s[j] == u'-'))
                ++j;
            if (j < m_s.size() && m_s[j].isDigit()) {
                m_i = j;
                while (m_i < m_s.size() && m_s[m_i].isDigit())
                    ++m_i;
            }
        }
        t.type = Token::Type::Number;
        t.text = m_s.mid(start, m_i - start).toString();
        // A number glued to a name ("1abc") is neither.
        if (m_i < m_s.size() && isNamePart(m_s[m_i]) && m_s[m_i] != u'.') {
            t.type = Token::Type::Bad;
            while (m_i < m_s.size() && isNamePart(m_s[m_i]))
                ++m_i;
            t.text = m_s.mid(start, m_i - start).toString();
        }
        return t;
    }

    QStringView m_s;
    qsizetype m_i = 0;
};

QString describe(const Token &t)
{
    switch (t.type) {
    case Token::Type::End:
        return QStringLiteral("表达式结尾");
    case Token::Type::Text:
        return QStringLiteral("文本 '%1'").arg(t.text.left(20));
    case Token::Type::Bad:
        if (t.text == QLatin1String("'"))
            return QStringLiteral("未结束的文本");
        if (t.text == QLatin1String("["))
            return QStringLiteral("未结束的字段名");
        return QStringLiteral("'%1'").arg(t.text.left(20));
    default:
        return QStringLiteral("'%1'").arg(t.text.left(20));
    }
}

class Parser
{
public:
    explicit Parser(QStringView s)
        : m_lex(s)
    {
        advance();
    }

    Result<std::unique_ptr<FilterNode>> parseAll()
    {
        auto root = expr(0);
        if (!m_error.isEmpty())
            return Error { m_error };
        if (m_tok.type != Token::Type::End) {
            fail(QStringLiteral("AND、OR 或表达式结尾"));
            return Error { m_error };
        }
        return root;
    }

private:
    void advance() { m_tok = m_lex.next(); }

    bool isKeyword(const char *k) const { return m_tok.type == Token::Type::Keyword && m_tok.text == QLatin1String(k); }

    std::unique_ptr<FilterNode> fail(const QString &expected)
    {
        if (m_error.isEmpty()) {
            m_error = QStringLiteral("过滤条件有误：第 %1 个字符处应为%2，却是%3。")
                          .arg(m_tok.position)
                          .arg(expected, describe(m_tok));
        }
        return nullptr;
    }

    std::unique_ptr<FilterNode> expr(int depth)
    {
        if (depth > MaxDepth) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("过滤条件有误：第 %1 个字符处括号嵌套过深。").arg(m_tok.position);
            return nullptr;
        }
        return chain(depth, "OR", FilterNode::Kind::Or);
    }

    std::unique_ptr<FilterNode> chain(int depth, const char *keyword, FilterNode::Kind kind)
    {
        const int position = m_tok.position;
        auto first = kind == FilterNode::Kind::Or ? chain(depth, "AND", FilterNode::Kind::And) : factor(depth);
        if (!first || !isKeyword(keyword))
            return first;
        auto node = std::make_unique<FilterNode>();
        node->kind = kind;
        node->position = position;
        node->children.push_back(std::move(first));
        while (isKeyword(keyword)) {
            advance();
            auto next = kind == FilterNode::Kind::Or ? chain(depth, "AND", FilterNode::Kind::And) : factor(depth);
            if (!next)
                return nullptr;
            node->children.push_back(std::move(next));
        }
        return node;
    }

    std::unique_ptr<FilterNode> factor(int depth)
    {
        if (depth > MaxDepth) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("过滤条件有误：第 %1 个字符处嵌套过深。").arg(m_tok.position);
            return nullptr;
        }
        if (isKeyword("NOT")) {
            auto node = std::make_unique<FilterNode>();
            node->kind = FilterNode::Kind::Not;
            node->position = m_tok.position;
            advance();
            auto inner = factor(depth + 1);
            if (!inner)
                return nullptr;
            node->children.push_back(std::move(inner));
            return node;
        }
        if (m_tok.type == Token::Type::LParen) {
            advance();
            auto inner = expr(depth + 1);
            if (!inner)
                return nullptr;
            if (m_tok.type != Token::Type::RParen)
                return fail(QStringLiteral("')'"));
            advance();
            return inner;
        }
        return predicate();
    }

    bool operand(FilterOperand *out)
    {
        out->position = m_tok.position;
        switch (m_tok.type) {
        case Token::Type::Name:
            out->kind = FilterOperand::Kind::Field;
            out->text = m_tok.text;
            break;
        case Token::Type::Text:
            out->kind = FilterOperand::Kind::Text;
            out->text = m_tok.text;
            break;
        case Token::Type::Minus:
            advance();
            if (m_tok.type != Token::Type::Number) {
                fail(QStringLiteral("数字"));
                return false;
            }
            out->kind = FilterOperand::Kind::Number;
            out->text = QLatin1Char('-') + m_tok.text;
            break;
        case Token::Type::Number:
            out->kind = FilterOperand::Kind::Number;
            out->text = m_tok.text;
            break;
        case Token::Type::Keyword:
            if (m_tok.text == QLatin1String("NULL")) {
                out->kind = FilterOperand::Kind::Null;
                break;
            }
            [[fallthrough]];
        default:
            fail(QStringLiteral("字段名、文本或数字"));
            return false;
        }
        if (out->kind == FilterOperand::Kind::Number) {
            bool ok = false;
            out->number = out->text.toDouble(&ok);
            if (!ok) {
                fail(QStringLiteral("数字"));
                return false;
            }
        }
        advance();
        return true;
    }

    std::unique_ptr<FilterNode> predicate()
    {
        auto node = std::make_unique<FilterNode>();
        node->position = m_tok.position;
        if (!operand(&node->left))
            return nullptr;

        if (m_tok.type == Token::Type::Op) {
            static const struct
            {
                const char *text;
                CompareOp op;
            } ops[] = { { "=", CompareOp::Eq }, { "<>", CompareOp::Ne }, { "!=", CompareOp::Ne },
                { "<", CompareOp::Lt }, { "<=", CompareOp::Le }, { ">", CompareOp::Gt }, { ">=", CompareOp::Ge } };
            for (const auto &o : ops) {
                if (m_tok.text == QLatin1String(o.text))
                    node->op = o.op;
            }
            node->kind = FilterNode::Kind::Compare;
            advance();
            return rightOperands(std::move(node), 1);
        }
        if (isKeyword("IS")) {
            advance();
            node->kind = FilterNode::Kind::IsNull;
            if (isKeyword("NOT")) {
                node->negated = true;
                advance();
            }
            if (!isKeyword("NULL"))
                return fail(QStringLiteral("NULL"));
            advance();
            return node;
        }
        if (isKeyword("NOT")) {
            node->negated = true;
            advance();
            if (!isKeyword("LIKE") && !isKeyword("BETWEEN") && !isKeyword("IN"))
                return fail(QStringLiteral("LIKE、BETWEEN 或 IN"));
        }
        if (isKeyword("LIKE")) {
            node->kind = FilterNode::Kind::Like;
            advance();
            node = rightOperands(std::move(node), 1);
            if (!node || m_tok.type != Token::Type::Name
                || m_tok.text.compare(QLatin1String("ESCAPE"), Qt::CaseInsensitive) != 0)
                return node;
            advance();
            // One character, as in SQL: the databases take no other escape.
            if (m_tok.type != Token::Type::Text || m_tok.text.size() != 1)
                return fail(QStringLiteral("一个字符的转义符（例如 '\\'）"));
            node->likeEscape = m_tok.text.front();
            advance();
            return node;
        }
        if (isKeyword("BETWEEN")) {
            node->kind = FilterNode::Kind::Between;
            advance();
            FilterOperand low;
            if (!operand(&low))
                return nullptr;
            node->values.push_back(std::move(low));
            if (!isKeyword("AND"))
                return fail(QStringLiteral("AND"));
            advance();
            return rightOperands(std::move(node), 1);
        }
        if (isKeyword("IN")) {
            node->kind = FilterNode::Kind::In;
            advance();
            if (m_tok.type != Token::Type::LParen)
                return fail(QStringLiteral("'('"));
            advance();
            for (;;) {
                FilterOperand v;
                if (!operand(&v))
                    return nullptr;
                node->values.push_back(std::move(v));
                if (m_tok.type == Token::Type::Comma) {
                    advance();
                    continue;
                }
                if (m_tok.type != Token::Type::RParen)
                    return fail(QStringLiteral("',' 或 ')'"));
                advance();
                return node;
            }
        }
        return fail(QStringLiteral("比较运算符（=、<>、<、<=、>、>=）、LIKE、BETWEEN、IN 或 IS"));
    }

    std::unique_ptr<FilterNode> rightOperands(std::unique_ptr<FilterNode> node, int count)
    {
        for (int i = 0; i < count; ++i) {
            FilterOperand v;
            if (!operand(&v))
                return nullptr;
            node->values.push_back(std::move(v));
        }
        return node;
    }

    Lexer m_lex;
    Token m_tok;
    QString m_error;
};

} // namespace

Result<FilterExpression> FilterExpression::parse(QStringView text)
{
    FilterExpression e;
    e.m_text = text.toString();
    if (text.trimmed().isEmpty())
        return e;
    Parser p(text);
    auto root = p.parseAll();
    if (!root)
        return Error { root.error() };
    e.m_root = std::move(root.value());
    return e;
}

} // namespace sqda
