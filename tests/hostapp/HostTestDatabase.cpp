#include "HostTestDatabase.h"

#include "core/DatabaseUrl.h"
#include "core/DemoData.h"
#include "core/Schema.h"
#include "core/SqlExec.h"
#include "core/SqlFailure.h"
#include "core/SqlTransaction.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

namespace kalmora::test {

QString postgresUrl()
{
    const QString fromEnv = qEnvironmentVariable("KALMORA_TEST_PG_URL");
    if (!fromEnv.isEmpty())
        return fromEnv;
#ifdef KALMORA_PG_URL_FILE
    QFile f(QStringLiteral(KALMORA_PG_URL_FILE));
    if (f.open(QIODevice::ReadOnly))
        return QString::fromUtf8(f.readAll()).trimmed();
#endif
    return {};
}

namespace {

// Each test program works in a database of its own, so they can run at once.
QString ownPostgresUrl(QString *error)
{
    const QString base = postgresUrl();
    if (base.isEmpty()) {
        *error = QStringLiteral("no PostgreSQL server: run the test through ctest (fixture pg_fixture.sh) "
                                "or set KALMORA_TEST_PG_URL");
        return {};
    }
    const std::optional<DatabaseUrl> url = DatabaseUrl::parse(base, error);
    if (!url)
        return {};
    QString name = QCoreApplication::applicationName().toLower();
    name.replace(QRegularExpression(QStringLiteral("[^a-z0-9_]")), QStringLiteral("_"));
    name = QStringLiteral("kt_") + name;
    static bool created = false;
    if (!created) {
        const QString conn = QStringLiteral("test-create-db");
        {
            QSqlDatabase db = url->open(conn, error);
            if (!db.isOpen())
                return {};
            QSqlQuery q(db);
            q.exec(QStringLiteral("select 1 from pg_database where datname = '%1'").arg(name));
            if (!q.next() && !QSqlQuery(db).exec(QStringLiteral("create database %1").arg(name))) {
                *error = QStringLiteral("cannot create database %1").arg(name);
                return {};
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(conn);
        created = true;
    }
    QUrl u(base);
    u.setPath(u'/' + name);
    return u.toString();
}

} // namespace

QStringList backends()
{
    return { QStringLiteral("sqlite"), QStringLiteral("postgresql") };
}

void addBackendColumn()
{
    QTest::addColumn<QString>("backend");
    for (const QString &b : backends())
        QTest::newRow(qPrintable(b)) << b;
}

namespace {
int counter = 0;
}

HostTestDatabase::HostTestDatabase(const QString &backend, const std::function<void(const QSqlDatabase &)> &fill)
{
    QString url;
    const bool postgres = backend != QLatin1String("sqlite");
    if (!postgres) {
        url = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("host.sqlite"));
    } else {
        url = ownPostgresUrl(&m_error);
        if (url.isEmpty())
            return;
    }
    // PostgreSQL: one connection of the test program's own serves every test
    // (a new one costs a server process); SQLite: one per test file.
    m_inspectName = postgres ? QStringLiteral("test-pg") : QStringLiteral("test-sqlite-%1").arg(++counter);
    m_sharedConnection = postgres;
    QSqlDatabase db = QSqlDatabase::database(m_inspectName);
    if (!db.isOpen()) {
        db = QSqlDatabase();
        QString error;
        db = DatabaseUrl::parse(url, &error)->open(m_inspectName, &error);
        if (!db.isOpen()) {
            m_error = error;
            return;
        }
        if (postgres)
            runSql(db, QStringLiteral("set client_min_messages = warning"), {}, {});
    }
    try {
        // One transaction: SQLite would otherwise sync the file once per row.
        SqlTransaction tx(db, DatabaseUrl::parse(url, nullptr)->backend(), SqlTransaction::Mode::Write);
        Schema::drop(db);
        Schema::create(db);
        if (fill)
            fill(db);
        tx.commit();
        m_url = url;
    } catch (const SqlFailure &f) {
        m_error = f.lines().join(u'\n');
    }
}

HostTestDatabase::~HostTestDatabase()
{
    if (!m_sharedConnection && !m_inspectName.isEmpty()) {
        QSqlDatabase::database(m_inspectName, false).close();
        QSqlDatabase::removeDatabase(m_inspectName);
    }
}

QSqlDatabase HostTestDatabase::inspect()
{
    return QSqlDatabase::database(m_inspectName);
}

void HostTestDatabase::smallChain(const QSqlDatabase &db)
{
    const QString failed = QStringLiteral("fixture");
    runSql(db, QStringLiteral("insert into tbsqfj values ('0101', '测试总部', '2223'), ('0102', '测试分公司', '22')"),
        {}, failed);
    runSql(db,
        QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values "
                       "('0101', '01', '华东区', 1, 0), ('0101', '0101', '上海', 2, 0), "
                       "('0101', '010101', '黄浦', 3, 1), ('0101', '02', '华北区', 1, 1), "
                       "('0102', '01', '姑苏区', 1, 1)"),
        {}, failed);
    QStringList rows;
    QVariantList values;
    for (const DemoData::Parameter &p : DemoData::parameters()) {
        rows << QStringLiteral("(?, ?)");
        values << p.key << p.value;
    }
    runSql(db, QStringLiteral("insert into tbxtcs (f_csmc, f_csz) values ") + rows.join(u','), values, failed);
    runSql(db, QStringLiteral("insert into tbzyda values ('0001', '张伟')"), {}, failed);
}

QVariant areaValue(const QSqlDatabase &db, const QString &dept, const QString &code, const QString &column)
{
    QSqlQuery q = runSql(db, QStringLiteral("select %1 from tbsqda where f_bmbm = ? and f_sqbm = ?").arg(column),
        { dept, code }, QStringLiteral("inspect"));
    return q.next() ? q.value(0) : QVariant();
}

int areaCount(const QSqlDatabase &db)
{
    QSqlQuery q = runSql(db, QStringLiteral("select count(*) from tbsqda"), {}, QStringLiteral("inspect"));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace kalmora::test
