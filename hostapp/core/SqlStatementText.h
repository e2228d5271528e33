// A lexical look at one SQL text before it reaches the database: where it ends,
// whether more statements follow, and which keyword it begins with.
//
// The data service runs exactly one statement per call inside a transaction of
// its own, so a text that carries a second statement (which could end that
// transaction and write outside it) is refused before it is sent. The scanner
// knows the quoting of both engines: '...' with '' doubling, E'...' with
// backslash escapes, "..." identifiers, $tag$...$tag$ bodies, -- and /* */
// comments. E'...' strings and nested comments are PostgreSQL's alone, so the
// scanner reads the text the way the engine that will run it does.
#pragma once

#include <QString>

namespace kalmora {

class SqlStatementText
{
public:
    enum class Dialect { SQLite, PostgreSQL };

    SqlStatementText(const QString &sql, Dialect dialect);

    // The statement without surrounding blanks, comments and final semicolons.
    QString statement() const { return m_statement; }
    bool isEmpty() const { return m_statement.isEmpty(); }
    // Something other than blanks and comments follows a semicolon.
    bool hasSeveralStatements() const { return m_several; }
    // The first word of the statement in upper case ("SELECT", "WITH", ...).
    QString firstKeyword() const { return m_keyword; }

    // Statements that begin, end or split a transaction; the service owns those.
    bool isTransactionControl() const;
    // Statements that can only read: SELECT, WITH ... SELECT, VALUES.
    bool looksLikeQuery() const;

private:
    QString m_statement;
    QString m_keyword;
    bool m_several = false;
};

} // namespace kalmora
