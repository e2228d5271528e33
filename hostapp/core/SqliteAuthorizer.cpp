#include "SqliteAuthorizer.h"

#include "Schema.h"
#include "SqlFailure.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace kalmora {

namespace {

int readOnly(void *, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

int noTransactionControl(void *, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        return SQLITE_DENY;
    default:
        return SQLITE_OK;
    }
}

bool isHostTable(const char *database, const char *table)
{
    static const QStringList tables = Schema::tableNames();
    return database && qstrcmp(database, "main") == 0 && table && tables.contains(QString::fromUtf8(table).toLower());
}

// One of the schema's width-check triggers: what it does (a length() and a
// raise()) is the schema's, not the caller's, so it runs within any change.
bool isWidthCheck(const char *trigger)
{
    static const QStringList names = Schema::widthCheckNames();
    return trigger && names.contains(QString::fromUtf8(trigger));
}

int dataChange(void *, int action, const char *arg1, const char *arg2, const char *database, const char *trigger)
{
    if (isWidthCheck(trigger))
        return SQLITE_OK;
    switch (action) {
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_READ:
        return isHostTable(database, arg1) ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_FUNCTION: // LIKE is a function to SQLite
        return arg2 && qstricmp(arg2, "like") == 0 ? SQLITE_OK : SQLITE_DENY;
    default:
        return SQLITE_DENY;
    }
}

} // namespace

SqliteAuthorizer::SqliteAuthorizer(const QSqlDatabase &db, Policy policy)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    sqlite3 *handle = nullptr;
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        handle = *static_cast<sqlite3 *const *>(v.constData());
    if (!handle)
        throw SqlFailure(QStringList { QStringLiteral("无法取得 SQLite 连接，语句没有执行。") });
    const auto callback = policy == Policy::ReadOnly ? readOnly
        : policy == Policy::DataChange               ? dataChange
                                                     : noTransactionControl;
    sqlite3_set_authorizer(handle, callback, nullptr);
    m_handle = handle;
}

SqliteAuthorizer::~SqliteAuthorizer()
{
    sqlite3_set_authorizer(static_cast<sqlite3 *>(m_handle), nullptr, nullptr);
}

} // namespace kalmora
