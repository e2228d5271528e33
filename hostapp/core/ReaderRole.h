// The PostgreSQL role QueryData runs under: it may read the product's four
// tables and nothing of the host's own powers.
//
// A caller's query runs inside a READ ONLY transaction after SET LOCAL ROLE
// kalmora_reader, so whatever the text holds, the server checks it against the
// reader's privileges: no writes, no signals to other sessions, no server
// files, even when the host itself logs in as a superuser. A role switched
// with SET ROLE could be switched back by the query through set_config('role',
// ...), so the product's database takes EXECUTE on set_config away from
// PUBLIC: the reader cannot change any setting, the role least of all.
//
// The role is shared by every product database on the server; each database
// grants it SELECT on its own tables. Hosts set this up when they create the
// schema or find it incomplete, under the schema's advisory lock; creating
// the role itself tolerates a host of another database doing the same.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kalmora::ReaderRole {

inline constexpr char Name[] = "kalmora_reader";

enum class State {
    Ready, // exists, reads the tables, cannot change settings, the host may switch to it
    Incomplete, // something is missing that setUp() adds
    TooPowerful, // it holds more than reading: the host refuses to use it
};

// `why` receives the reason for a state other than Ready.
State check(const QSqlDatabase &db, QString *why = nullptr);

// Creates the role and grants what it needs; run inside the schema's write
// transaction. Needs a superuser, or a role the administrator set up (see
// docs/reference-host.md). Throws SqlFailure.
void setUp(const QSqlDatabase &db);

// The statement that switches the current transaction to the reader (ROLLBACK
// or COMMIT switch back), and the summary of its failure.
QByteArray enterStatement();
QString enterFailure();

// After the query: ends its transaction, if one is open, and releases the
// session-level advisory locks the query may have taken (they outlive the
// transaction), in one round trip. Errors are ignored; a lost connection has
// no transaction or locks left.
void endQuery(const QSqlDatabase &db);

} // namespace kalmora::ReaderRole
