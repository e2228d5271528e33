// Runs one of the host's own statements with bound values; a failure throws
// SqlFailure with `summary` as its first line. A '?' in `sql` stands for the next
// value; the host's statements have no '?' of any other kind.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace kalmora {

QSqlQuery runSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values, const QString &summary);

// PostgreSQL: runs a caller's statement through the extended query protocol,
// which takes exactly one statement: a second one hidden where a text scanner
// would not see it (a comment the server ends at a carriage return, a quote
// with an unusual tag) is refused by the server itself. Answers the number of
// rows the statement changed. A failure throws SqlFailure: `summary`, the
// server's message (a second statement gets a message of its own), `context`.
qint64 runPostgresStatement(
    const QSqlDatabase &db, const QString &sql, const QString &summary, const QStringList &context = {});

// The server's message for several statements sent as one, in the host's words;
// empty for any other error. `state` is the SQLSTATE, `message` the primary text.
QString severalStatementsText(const char *state, const char *message);

} // namespace kalmora
