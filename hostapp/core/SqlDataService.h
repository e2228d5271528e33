// The reference host's data service: ICoorDisp over a Qt SQL connection to an
// SQLite file or a PostgreSQL server.
//
// Every operation runs in one transaction of its own and either completes or
// leaves the database as it was; a failure answers false and puts the message
// lines (a QVariantList of QString) into the by-reference argument. Nothing is
// thrown out of Invoke.
//
// The object is counted: open() hands out the first reference, every holder
// (the library keeps one until its next entry call or its unload) takes its own,
// and the last Release() frees it. A connection belongs to the thread that
// opened it: use each service from that thread only; two threads, two services.
#pragma once

#include "DatabaseUrl.h"
#include "QueryPacket.h"

#include <sqda/ComPtr.h>
#include <sqda/ICoorDisp.h>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <atomic>

namespace kalmora {

class SqlDataService final : public sqda::ICoorDisp
{
public:
    // A counted reference, released when it goes.
    using Ptr = sqda::ComPtr<SqlDataService>;

    struct Options
    {
        // Fill a newly created schema with the demo chain.
        bool seedDemoData = true;
        // What one QueryData may cost: a statement running longer is stopped,
        // a result larger is refused, each with a message saying so.
        QueryPacket::Limits queryLimits { 512LL * 1024 * 1024, 60'000 };
    };

    // Connects, creates the schema when it is missing (and, for PostgreSQL, the
    // database itself when the server lets us), and settles the department the
    // session acts as: `department`, or the first one the database knows when
    // empty. On failure returns null and sets `error`.
    static Ptr open(const QString &databaseUrl, const QString &department, QString *error);
    static Ptr open(const QString &databaseUrl, const QString &department, QString *error, const Options &options);

    unsigned long AddRef() override;
    unsigned long Release() override;
    QVariant Invoke(int dispId, QVariantList &args) override;

    DatabaseUrl::Backend backend() const { return m_url.backend(); }
    // Why the database is open for reading only (an SQLite file the user cannot
    // write), or empty. Such a session answers every query; every operation
    // that would write is refused with a message saying why.
    QString readOnlyReason() const { return m_readOnlyReason; }
    QString databaseText() const { return m_url.displayText(); }
    QString department() const { return m_department; }

    // Department codes with their names ("0101 上海连锁总部"), in code order.
    QStringList departments(QString *error = nullptr);
    // The first operator's code, or empty when there is none.
    QString firstOperator(QString *error = nullptr);
    // The name of operator `code`; empty with `error` set when unknown.
    QString operatorName(const QString &code, QString *error = nullptr);

    // Closes the connection now; every later call fails with a clear message.
    // The host does this before it exits, whoever still holds a reference.
    void close();

private:
    SqlDataService(DatabaseUrl url, QString connectionName);
    ~SqlDataService();

    QVariant queryData(QVariantList &args);
    QVariant executeSql(QVariantList &args);
    QVariant serverClock(QVariantList &args, int length);
    QVariant getOperatorName(QVariantList &args);
    QVariant getSystemParameters(QVariantList &args);
    QVariant getCodeLevels(QVariantList &args);
    QVariant checkAreaCode(QVariantList &args);
    QVariant deleteArea(QVariantList &args);
    QVariant insertArea(QVariantList &args);

    QSqlDatabase database() const;
    // Refuses a write on a read-only database before any work.
    void requireWritable() const;
    QVariant dispatch(int dispId, QVariantList &args);
    // PostgreSQL: a connection the server has closed (a restart, a killed
    // backend) is opened again before the call, within a bounded number of tries.
    void ensureConnected();

    DatabaseUrl m_url;
    QString m_connectionName;
    QString m_department;
    QString m_readOnlyReason;
    QueryPacket::Limits m_queryLimits;
    std::atomic<unsigned long> m_refs { 0 };
};

} // namespace kalmora
