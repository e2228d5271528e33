// Fresh databases for the host's tests, on SQLite and on the PostgreSQL server
// the CTest fixture starts (pg_fixture.sh), or the one KALMORA_TEST_PG_URL names.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace kalmora::test {

// The PostgreSQL URL for tests, or empty when there is no server.
QString postgresUrl();

// The back ends to run a test on: "sqlite" and "postgresql".
QStringList backends();

// Adds one _data row per back end (column "backend", name prefix "<backend>: ").
void addBackendColumn();

class HostTestDatabase
{
public:
    // A database on `backend` with fresh host tables filled by `fill`. For
    // PostgreSQL the tables of the test program's database are dropped first.
    HostTestDatabase(const QString &backend, const std::function<void(const QSqlDatabase &)> &fill);

    QString url() const { return m_url; }
    bool isValid() const { return !m_url.isEmpty(); }
    QString error() const { return m_error; }

    // A connection of the test's own, to look at what the service stored.
    QSqlDatabase inspect();
    ~HostTestDatabase();

    // The fixture most tests use: departments 0101 (2-2-2-3) and 0102 (2-2),
    // areas 01 > 0101 > 010101 and 02 in 0101, 01 in 0102, the demo
    // parameters and operator 0001 张伟.
    static void smallChain(const QSqlDatabase &db);

private:
    QTemporaryDir m_dir;
    QString m_url;
    QString m_error;
    QString m_inspectName;
    bool m_sharedConnection = false;
};

// A value of one row: "select <column> from tbsqda where f_bmbm=... and f_sqbm=...".
QVariant areaValue(const QSqlDatabase &db, const QString &dept, const QString &code, const QString &column);
int areaCount(const QSqlDatabase &db);

} // namespace kalmora::test
