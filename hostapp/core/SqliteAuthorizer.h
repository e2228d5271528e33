// Limits what SQLite lets a statement do while it is being compiled, through the
// engine's authorizer hook on the connection's native handle.
#pragma once

#include <QSqlDatabase>

namespace kalmora {

class SqliteAuthorizer
{
public:
    enum class Policy {
        ReadOnly, // SELECT and reading only: no write, no pragma, no attach
        NoTransactionControl, // anything but BEGIN/COMMIT/SAVEPOINT/ATTACH/DETACH
        DataChange, // INSERT, UPDATE, DELETE and reading on the host's own tables only
    };

    // Installs the policy on `db` (an open QSQLITE connection) for this object's
    // lifetime. Throws SqlFailure when the handle cannot be reached.
    SqliteAuthorizer(const QSqlDatabase &db, Policy policy);
    ~SqliteAuthorizer();
    SqliteAuthorizer(const SqliteAuthorizer &) = delete;
    SqliteAuthorizer &operator=(const SqliteAuthorizer &) = delete;

private:
    void *m_handle = nullptr;
};

} // namespace kalmora
