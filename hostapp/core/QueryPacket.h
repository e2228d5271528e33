// Query results streamed from the database straight into a data packet.
//
// Rows are read through the native handle of the connection Qt already holds
// and written as packet bytes while they arrive (PacketBuilder): no cell ever
// becomes a QVariant and no intermediate table is built.
//
// - SQLite: the engine's own API on the connection's sqlite3 handle. Text is
//   taken as the UTF-8 the engine stores, checked and copied.
// - PostgreSQL: libpq on the connection's PGconn. The statement is described
//   through the extended protocol (one statement only), then its rows come as
//   COPY (statement) TO STDOUT, one row at a time however large the result
//   (see docs/reference-host.md).
#pragma once

#include "DatabaseUrl.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <vector>

namespace kalmora {

// What one query may cost.
struct QueryLimits
{
    qint64 maxBytes = 0; // the packet's size; 0: no limit
    int timeoutMs = 0; // the statement's running time, rows included; 0: no limit
};

// On PostgreSQL, statements that set up the query's session (its transaction,
// its role) and go to the server in the query's first round trip, ahead of it.
// `failure` is the summary of the error when the step fails; the query does
// not run then.
struct QuerySetupStep
{
    QByteArray statement;
    QString failure;
};

class QueryPacket
{
public:
    using Limits = QueryLimits;
    using Setup = std::vector<QuerySetupStep>;

    // Runs `sql`, one read-only statement, on `db`'s open connection and answers
    // every row as a packet. A '?' in `sql` stands for the next of `params`,
    // bound as text (the host's own statements have no '?' of any other kind);
    // with no params the text runs as it is. Column names are lower case; types
    // follow what the engine says of each column, widened where a value does
    // not fit. A failure throws SqlFailure: `summary`, what went wrong, then
    // `context`.
    //
    // The caller owns the transaction (and with it, on PostgreSQL, the role
    // and settings the statement runs under) and, on SQLite, the authorizer.
    // On PostgreSQL `setup` may begin that transaction: its steps run first,
    // in order, and the caller ends what they began whether `run` returns or
    // throws. SQLite takes no setup. `rows` receives the row count.
    static QByteArray run(const QSqlDatabase &db, DatabaseUrl::Backend backend, const QString &sql,
        const QStringList &params, const QString &summary, const QStringList &context = {}, const Limits &limits = {},
        qsizetype *rows = nullptr, const Setup &setup = {});

    // The same for one of the host's own statements whose answer is a few
    // rows: on PostgreSQL it runs and answers in one round trip, its rows held
    // in memory at once, and no limit applies.
    static QByteArray runSmall(const QSqlDatabase &db, DatabaseUrl::Backend backend, const QString &sql,
        const QStringList &params, const QString &summary, qsizetype *rows = nullptr);
};

} // namespace kalmora
