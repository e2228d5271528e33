// One transaction of a data-service operation. It begins in the constructor and
// rolls back in the destructor unless commit() succeeded, so an operation that
// fails at any step leaves nothing behind.
#pragma once

#include "DatabaseUrl.h"

#include <QSqlDatabase>

namespace kalmora {

class SqlTransaction
{
public:
    enum class Mode {
        Read, // PostgreSQL: READ ONLY, so the server itself refuses writes
        Write, // SQLite: IMMEDIATE, so two writers queue instead of deadlocking
    };

    SqlTransaction(const QSqlDatabase &db, DatabaseUrl::Backend backend, Mode mode);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    void commit();

private:
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace kalmora
