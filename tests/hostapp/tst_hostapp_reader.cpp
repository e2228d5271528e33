// QueryData on PostgreSQL is read-only by construction: one statement through
// the extended protocol, a READ ONLY transaction, and the reader role, which
// may read the product's tables and do nothing else, even when the host logs in
// as a superuser (as it does here). Whatever a query leaves in the session is
// gone after the call.
#include "HostTestDatabase.h"

#include "core/ReaderRole.h"
#include "core/SqlDataService.h"
#include "core/SqlExec.h"
#include "core/SqlFailure.h"
#include "core/SqlTransaction.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

using namespace kalmora;
using namespace kalmora::test;

namespace {

QStringList lines(const QVariant &v)
{
    QStringList out;
    for (const QVariant &l : v.toList())
        out << l.toString();
    return out;
}

qint64 scalar(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q = runSql(db, sql, {}, QStringLiteral("inspect"));
    return q.next() ? q.value(0).toLongLong() : -1;
}

} // namespace

class TestReader : public QObject
{
    Q_OBJECT

    std::unique_ptr<HostTestDatabase> m_db;
    SqlDataService::Ptr m_service;

    bool setUp()
    {
        if (postgresUrl().isEmpty())
            return false;
        m_db = std::make_unique<HostTestDatabase>(QStringLiteral("postgresql"), &HostTestDatabase::smallChain);
        if (!m_db->isValid()) {
            qWarning("%s", qPrintable(m_db->error()));
            return false;
        }
        QString error;
        m_service = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        if (!m_service)
            qWarning("%s", qPrintable(error));
        return bool(m_service);
    }

    bool query(const QString &sql, QVariant &out)
    {
        QVariantList args { sql, QVariant() };
        const bool ok = m_service->Invoke(sqda::DispQueryData, args).toBool();
        out = args.value(1);
        return ok;
    }

    // The first row of a query's answer, each value as text.
    QStringList row(const QString &sql)
    {
        QVariant out;
        if (!query(sql, out))
            return { QStringLiteral("failed: ") + lines(out).join(u'|') };
        const auto store = sqda::Packet::decode(out.toByteArray());
        QStringList values;
        if (store && store->rowCount() > 0) {
            for (int c = 0; c < store->columnCount(); ++c)
                values << store->value(0, c).toString();
        }
        return values;
    }

    QSqlDatabase inspect() { return m_db->inspect(); }

private Q_SLOTS:
    void init()
    {
        if (postgresUrl().isEmpty())
            QSKIP("no PostgreSQL server");
    }
    void cleanup()
    {
        m_service.reset();
        m_db.reset();
    }

    void attacksAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message"); // a piece of the answer's lines
        const QString several = QStringLiteral("一次只能执行一条语句");
        const QString denied = QStringLiteral("permission denied");
        QTest::newRow("comment the server ends at CR")
            << QStringLiteral("SELECT 1 --\r; COMMIT; DROP TABLE tbsqda; --\nSELECT 2") << several;
        QTest::newRow("non-ASCII dollar tag")
            << QStringLiteral("select $é$x$é$; commit; drop table tbsqda; select 1") << several;
        QTest::newRow("dollar tag of symbols")
            << QStringLiteral("select $→$ a $→$ as t; commit; drop table tbsqda; --") << several;
        QTest::newRow("dollar tag of digits")
            << QStringLiteral("select $٣$;$٣$; commit; drop table tbsqda; select 1") << several;
        QTest::newRow("setting smuggled behind a query")
            << QStringLiteral("select 1; set standard_conforming_strings = off") << several;
        QTest::newRow("set_config") << QStringLiteral("select set_config('standard_conforming_strings', 'off', false)")
                                    << denied;
        QTest::newRow("role switched back, then a signal")
            << QStringLiteral("select set_config('role', 'none', true), pg_terminate_backend(pid) "
                              "from pg_stat_activity where datname = current_database()")
            << denied;
        QTest::newRow("session authorization")
            << QStringLiteral("select set_config('session_authorization', 'postgres', true)") << denied;
        QTest::newRow("terminate the other sessions")
            << QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity "
                              "where datname = current_database() and pid <> pg_backend_pid()")
            << QStringLiteral("must be");
        QTest::newRow("cancel the other sessions")
            << QStringLiteral("select pg_cancel_backend(pid) from pg_stat_activity "
                              "where datname = current_database() and pid <> pg_backend_pid()")
            << QStringLiteral("must be");
        QTest::newRow("server file") << QStringLiteral("select pg_read_file('/etc/hostname')") << denied;
        QTest::newRow("server folder") << QStringLiteral("select pg_ls_dir('.')") << denied;
        QTest::newRow("server file through dynamic SQL")
            << QStringLiteral("select query_to_xml('select pg_read_file(''/etc/hostname'')', true, true, '')")
            << denied;
        QTest::newRow("large object to a server file")
            << QStringLiteral("select lo_export(0, '/tmp/kalmora-reader-export')") << denied;
        QTest::newRow("password hashes") << QStringLiteral("select rolpassword from pg_authid") << denied;
        QTest::newRow("reload the server") << QStringLiteral("select pg_reload_conf()") << denied;
        QTest::newRow("write through a data-modifying WITH")
            << QStringLiteral("with d as (delete from tbsqda returning 1) select count(*) from d")
            << QStringLiteral("read-only");
    }
    void attacksAreRefused()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        QVERIFY(setUp());
        const qint64 inspectPid = scalar(inspect(), QStringLiteral("select pg_backend_pid()"));
        QVariant out;
        QVERIFY(!query(sql, out));
        const QStringList got = lines(out);
        QVERIFY2(got.size() >= 2 && got.join(u'|').contains(message), qPrintable(got.join(u'|')));
        // Nothing changed, nobody was signalled, and the host's session still
        // quotes as it did.
        QCOMPARE(areaCount(inspect()), 5);
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("华北区"));
        QCOMPARE(scalar(inspect(), QStringLiteral("select pg_backend_pid()")), inspectPid);
        QCOMPARE(row(QStringLiteral("select current_setting('standard_conforming_strings'), current_user")),
            (QStringList { QStringLiteral("on"), QString::fromLatin1(ReaderRole::Name) }));
        QVERIFY(QFile::exists(QStringLiteral("/tmp/kalmora-reader-export")) == false);
    }

    // A text the scanner might end early is one statement to the server: it
    // runs, as one query.
    void dollarQuotesAreOneStatement()
    {
        QVERIFY(setUp());
        QCOMPARE(row(QStringLiteral("select $→$; commit; drop table tbsqda; $→$ as t")),
            QStringList { QStringLiteral("; commit; drop table tbsqda; ") });
        QCOMPARE(areaCount(inspect()), 5);
    }

    // ExecuteSql's change goes through the same one-statement protocol: a
    // second statement is refused by the server, even one the host's own
    // check of the text were to miss.
    void changesAreOneStatementToo()
    {
        QVERIFY(setUp());
        const QSqlDatabase db = inspect();
        {
            SqlTransaction tx(db, DatabaseUrl::Backend::PostgreSQL, SqlTransaction::Mode::Write);
            try {
                runPostgresStatement(db,
                    QStringLiteral("update tbsqda set f_sqmc = 'x' where f_sqbm = '02' --\r; commit; drop table "
                                   "tbsqda; --\n"),
                    QStringLiteral("failed"));
                QFAIL("a second statement ran");
            } catch (const SqlFailure &f) {
                QVERIFY2(f.lines().join(u'|').contains(QStringLiteral("一次只能执行一条语句")),
                    qPrintable(f.lines().join(u'|')));
            }
        }
        QCOMPARE(areaCount(db), 5);
        QCOMPARE(
            areaValue(db, QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(), QStringLiteral("华北区"));
    }

    // The reader reads the product's tables and nothing the host did not grant.
    void readerReadsOnlyTheProductsTables()
    {
        QVERIFY(setUp());
        QCOMPARE(row(QStringLiteral("select count(*) from tbsqda")), QStringList { QStringLiteral("5") });
        runSql(inspect(), QStringLiteral("drop table if exists tbprivate"), {}, QStringLiteral("fixture"));
        runSql(inspect(), QStringLiteral("create table tbprivate (secret text)"), {}, QStringLiteral("fixture"));
        QVariant out;
        QVERIFY(!query(QStringLiteral("select * from tbprivate"), out));
        QVERIFY2(
            lines(out).join(u'|').contains(QStringLiteral("permission denied")), qPrintable(lines(out).join(u'|')));
        runSql(inspect(), QStringLiteral("drop table tbprivate"), {}, QStringLiteral("fixture"));
    }

    // A session advisory lock outlives a transaction: the host releases it, so
    // a second host that must take the schema lock starts at once.
    void advisoryLocksAreReleased()
    {
        QVERIFY(setUp());
        QVERIFY(!row(QStringLiteral("select pg_advisory_lock(1262570829), pg_try_advisory_lock(7)"))
                     .value(0)
                     .startsWith(QStringLiteral("failed")));
        QCOMPARE(scalar(inspect(), QStringLiteral("select count(*) from pg_locks where locktype = 'advisory'")), 0);
        // Without its grant the next start sets the reader up again, under the lock.
        runSql(inspect(), QStringLiteral("revoke select on tbzyda from kalmora_reader"), {}, QStringLiteral("fixture"));
        QElapsedTimer t;
        t.start();
        QString error;
        SqlDataService::Ptr second = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        QVERIFY2(second, qPrintable(error));
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(ReaderRole::check(inspect()), ReaderRole::State::Ready);
    }

    // A host that logs in as an ordinary role uses the reader the
    // administrator granted it; without that grant it does not start.
    void ordinaryLoginUsesTheReaderItWasGranted()
    {
        QVERIFY(setUp()); // the superuser's start has set the reader up
        const QString login = QStringLiteral("kt_plain_%1").arg(QCoreApplication::applicationPid());
        const QString fixture = QStringLiteral("fixture");
        runSql(inspect(), QStringLiteral("drop role if exists %1").arg(login), {}, fixture);
        runSql(inspect(), QStringLiteral("create role %1 login").arg(login), {}, fixture);
        const auto drop = qScopeGuard([&] {
            runSql(inspect(), QStringLiteral("drop owned by %1").arg(login), {}, fixture);
            runSql(inspect(), QStringLiteral("drop role %1").arg(login), {}, fixture);
        });
        runSql(inspect(), QStringLiteral("grant all on tbsqda, tbsqfj, tbxtcs, tbzyda to %1").arg(login), {}, fixture);
        QUrl url(m_db->url());
        url.setUserName(login);

        QString error;
        QVERIFY(!SqlDataService::open(url.toString(), QStringLiteral("0101"), &error));
        QVERIFY2(error.contains(QStringLiteral("无法为只读查询设置数据库角色")), qPrintable(error));

        runSql(inspect(), QStringLiteral("grant kalmora_reader to %1").arg(login), {}, fixture);
        m_service = SqlDataService::open(url.toString(), QStringLiteral("0101"), &error);
        QVERIFY2(m_service, qPrintable(error));
        QCOMPARE(row(QStringLiteral("select current_user, session_user")),
            (QStringList { QString::fromLatin1(ReaderRole::Name), login }));
        QVariant out;
        QVERIFY(!query(QStringLiteral("select set_config('role', 'none', true), pg_terminate_backend(pid) "
                                      "from pg_stat_activity where usename = current_user"),
            out));
        // A second workstation of the same login: its session cannot be ended.
        SqlDataService::Ptr other = SqlDataService::open(url.toString(), QStringLiteral("0101"), &error);
        QVERIFY2(other, qPrintable(error));
        QVERIFY(!query(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity "
                                      "where usename = session_user and pid <> pg_backend_pid()"),
            out));
        QVERIFY2(lines(out).join(u'|').contains(QStringLiteral("must be a member")), qPrintable(lines(out).join(u'|')));
        QVariantList args { QStringLiteral("0101") };
        QVERIFY(other->Invoke(sqda::DispGetCodeLevels, args).toBool());

        // The grant taken away while the host runs: the switch fails after the
        // transaction began, the query does not run, and the session is left
        // idle, out of the transaction, ready for the next query.
        const qint64 pid = row(QStringLiteral("select pg_backend_pid()")).value(0).toLongLong();
        QVERIFY(pid > 0);
        runSql(inspect(), QStringLiteral("revoke kalmora_reader from %1").arg(login), {}, fixture);
        QVERIFY(!query(QStringLiteral("select count(*) from tbsqda"), out));
        QVERIFY2(lines(out).join(u'|').contains(QStringLiteral("无法切换到只读查询角色")),
            qPrintable(lines(out).join(u'|')));
        QSqlQuery state = runSql(
            inspect(), QStringLiteral("select state from pg_stat_activity where pid = %1").arg(pid), {}, fixture);
        QVERIFY(state.next());
        QCOMPARE(state.value(0).toString(), QStringLiteral("idle"));
        runSql(inspect(), QStringLiteral("grant kalmora_reader to %1").arg(login), {}, fixture);
        QCOMPARE(row(QStringLiteral("select count(*) from tbsqda")), QStringList { QStringLiteral("5") });
        other.reset();
        m_service.reset();
    }

    // Settings a query changes go back with its transaction, even where the
    // reader were allowed set_config.
    void settingsAreUndone()
    {
        QVERIFY(setUp());
        runSql(inspect(),
            QStringLiteral("grant execute on function pg_catalog.set_config(text, text, boolean) to kalmora_reader"),
            {}, QStringLiteral("fixture"));
        const auto revoke = qScopeGuard([this] {
            runSql(inspect(),
                QStringLiteral("revoke execute on function pg_catalog.set_config(text, text, boolean) "
                               "from kalmora_reader"),
                {}, QStringLiteral("fixture"));
        });
        QCOMPARE(row(QStringLiteral("select set_config('lock_timeout', '1ms', false), "
                                    "set_config('standard_conforming_strings', 'off', false)")),
            (QStringList { QStringLiteral("1ms"), QStringLiteral("off") }));
        QCOMPARE(row(QStringLiteral("select current_setting('lock_timeout'), "
                                    "current_setting('standard_conforming_strings')")),
            (QStringList { QStringLiteral("15s"), QStringLiteral("on") }));
        // The host's own quoting still holds: a backslash is an ordinary character.
        QVariantList args { QStringLiteral("update tbsqda set f_sqmc='a\\''b' where f_bmbm='0101' and f_sqbm='02'") };
        QVERIFY2(m_service->Invoke(sqda::DispExecuteSql, args).toBool(), qPrintable(lines(args.value(0)).join(u'|')));
        QCOMPARE(areaValue(inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("a\\'b"));
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "tst_hostapp_reader.moc"
