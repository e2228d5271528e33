// The host under attack and under faults: statements ExecuteSql must refuse, a
// PostgreSQL server that restarts or kills a backend in the middle of a session,
// many workstations starting at once on a database that is new, SQLite starts
// that take no write lock.
#include "HostTestDatabase.h"

#include "core/DatabaseUrl.h"
#include "core/DemoData.h"
#include "core/SqlDataService.h"
#include "core/SqlExec.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <barrier>
#include <thread>

using namespace kalmora;
using namespace kalmora::test;
using sqda::FieldType;

namespace {

QByteArray areaPacket(const QString &code, int level)
{
    sqda::DataStore s({ { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } });
    s.appendString(0, QStringLiteral("0101"));
    s.appendString(1, code);
    s.appendString(2, QStringLiteral("故障测试"));
    s.appendInt(3, level);
    s.appendInt(4, 1);
    s.commitRow();
    return sqda::Packet::encode(s);
}

// Calls `dispId` with one by-reference argument; the answer or the error lines.
bool invoke(SqlDataService *s, int dispId, const QVariant &argument, QStringList *lines = nullptr)
{
    QVariantList args { argument };
    const bool ok = s->Invoke(dispId, args).toBool();
    if (lines) {
        lines->clear();
        const QVariant out = args.value(0);
        if (out.typeId() == QMetaType::QVariantList) {
            for (const QVariant &l : out.toList())
                *lines << l.toString();
        } else {
            *lines << out.toString();
        }
    }
    return ok;
}

// Starts `hosts` services on `url` released at the same moment, each reading the
// code levels once; one error text per host, empty for a host that started.
std::vector<QString> startTogether(const QString &url, int hosts)
{
    std::vector<QString> errors(static_cast<size_t>(hosts));
    std::barrier sync(hosts);
    std::vector<std::thread> threads;
    for (int h = 0; h < hosts; ++h) {
        threads.emplace_back([&, h] {
            sync.arrive_and_wait();
            SqlDataService::Ptr s = SqlDataService::open(url, QString(), &errors[size_t(h)]);
            if (s && !invoke(s.get(), sqda::DispGetCodeLevels, QStringLiteral("0101")))
                errors[size_t(h)] = QStringLiteral("GetCodeLevels failed");
        });
    }
    for (std::thread &t : threads)
        t.join();
    return errors;
}

QString pgFixture(const QString &command)
{
    QProcess p;
    p.start(QStringLiteral(KALMORA_PG_FIXTURE), { command, QStringLiteral(KALMORA_PG_STATE) });
    if (!p.waitForFinished(90000) || p.exitCode() != 0)
        return QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
    return {};
}

// A URL for a database of this name on the test server.
QString postgresDatabaseUrl(const QString &name)
{
    QUrl u(postgresUrl());
    u.setPath(u'/' + name);
    return u.toString();
}

void dropPostgresDatabase(const QString &name)
{
    QString error;
    const QString conn = QStringLiteral("faults-admin");
    {
        QSqlDatabase db
            = DatabaseUrl::parse(postgresDatabaseUrl(QStringLiteral("postgres")), &error)->open(conn, &error);
        QSqlQuery(db).exec(QStringLiteral("drop database if exists %1 with (force)").arg(name));
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

    std::unique_ptr<HostTestDatabase> m_db;
    SqlDataService::Ptr m_service;

    bool setUp()
    {
        QFETCH(QString, backend);
        m_db = std::make_unique<HostTestDatabase>(backend, &HostTestDatabase::smallChain);
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

    static QString rename(const QString &code, const QString &name)
    {
        return QStringLiteral("update tbsqda set f_sqmc='%1' where f_sqbm='%2' and f_bmbm='0101'").arg(name, code);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_service.reset();
        m_db.reset();
    }

    // Whatever is not a plain change of the product's data is refused with a
    // message, changes nothing, and leaves the session as it was.
    void executeSqlRefusesAllButDataChanges_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        const QList<std::pair<const char *, QString>> rows {
            { "pragma query_only", QStringLiteral("PRAGMA query_only=1") },
            { "pragma locking_mode", QStringLiteral("pragma locking_mode=EXCLUSIVE") },
            { "pragma journal_mode", QStringLiteral("pragma journal_mode=OFF") },
            { "do block", QStringLiteral("DO $$ begin perform pg_sleep(0); end $$") },
            { "set role", QStringLiteral("SET ROLE postgres") },
            { "set session setting", QStringLiteral("set standard_conforming_strings=off") },
            { "copy to program", QStringLiteral("COPY tbsqda TO PROGRAM 'touch /tmp/kalmora-copy'") },
            { "create table", QStringLiteral("create table x (a int)") },
            { "select", QStringLiteral("select pg_sleep(5)") },
            { "function in a value", QStringLiteral("update tbsqda set f_sqmc=upper(f_sqmc) where f_sqbm='02'") },
            { "function in a condition",
                QStringLiteral("delete from tbsqda where f_sqbm='02' and pg_terminate_backend(1) is null") },
            { "sub-query", QStringLiteral("update tbsqda set f_sqmc=(select f_zymc from tbzyda) where f_sqbm='02'") },
            { "another table", QStringLiteral("delete from pg_catalog.pg_class where 1=0") },
            { "qualified host table", QStringLiteral("update main.tbsqda set f_sqmc='x' where f_sqbm='02'") },
            { "quoted name", QStringLiteral("update \"tbsqda\" set f_sqmc='x' where f_sqbm='02'") },
            { "insert from a query", QStringLiteral("insert into tbsqda select * from tbsqda") },
            { "returning", QStringLiteral("update tbsqda set f_sqmc='x' where f_sqbm='02' returning *") },
            { "with", QStringLiteral("with a as (select 1) update tbsqda set f_sqmc='x' where f_sqbm='02'") },
            { "escape string", QStringLiteral("update tbsqda set f_sqmc=E'\\'' where f_sqbm='02'") },
            { "comment hiding a second statement",
                QStringLiteral(
                    "update tbsqda set f_sqmc='x' where f_sqbm='02' --\r; commit; drop table tbsqda; --\n") },
            { "dollar quote", QStringLiteral("update tbsqda set f_sqmc=$q$x$q$ where f_sqbm='02'") },
            { "unbalanced bracket", QStringLiteral("update tbsqda set f_sqmc='x' where (f_sqbm='02'") },
            { "update without where", QStringLiteral("update tbsqda set f_sqmc='x'") },
            { "delete without where", QStringLiteral("delete from tbsqda") },
            { "set twice", QStringLiteral("update tbsqda set f_sqmc='x' set f_jb=1 where f_sqbm='02'") },
            { "where in an insert",
                QStringLiteral("insert into tbsqda values ('0101','09','x',1,1) where f_sqbm='02'") },
        };
        for (const QString &b : backends()) {
            for (const auto &[name, sql] : rows)
                QTest::addRow("%s: %s", qPrintable(b), name) << b << sql;
        }
    }
    void executeSqlRefusesAllButDataChanges()
    {
        QFETCH(QString, sql);
        QVERIFY(setUp());
        QStringList lines;
        QVERIFY(!invoke(m_service.get(), sqda::DispExecuteSql, sql, &lines));
        // Refused before it reached the database, with the reason.
        const QString first = lines.value(0);
        QVERIFY2(lines.size() >= 2
                && (first.contains(QStringLiteral("这里只能修改商圈档案的数据"))
                    || first.contains(QStringLiteral("一次只能执行一条"))),
            qPrintable(lines.join(u'|')));
        QCOMPARE(areaCount(m_db->inspect()), 5);
        QCOMPARE(areaValue(m_db->inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("华北区"));
        // The session writes as before (no read-only or exclusive mode left behind).
        QVERIFY(invoke(m_service.get(), sqda::DispExecuteSql, rename(QStringLiteral("02"), QStringLiteral("华北"))));
        QCOMPARE(areaValue(m_db->inspect(), QStringLiteral("0101"), QStringLiteral("02"), "f_sqmc").toString(),
            QStringLiteral("华北"));
    }

    void executeSqlTakesWhatTheScreensSend_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("areas"); // areas afterwards
        for (const QString &b : backends()) {
            QTest::addRow("%s: the screen's rename", qPrintable(b))
                << b
                << QStringLiteral("update tbSqda set F_SqMc='黄浦''滩 -- /* ;' where f_sqbm='02' and f_bmbm='0101'")
                << 5;
            QTest::addRow("%s: conditions", qPrintable(b))
                << b
                << QStringLiteral("UPDATE tbsqda SET f_sqmc = 'a' || 'b', f_mj = 1 - 0\n WHERE f_sqbm IN ('02') AND "
                                  "NOT f_bmbm LIKE '09%' AND f_jb BETWEEN 1 AND 2 AND f_sqmc IS NOT NULL")
                << 5;
            QTest::addRow("%s: insert", qPrintable(b))
                << b
                << QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values ('0101', '03', "
                                  "'新区', 1, 1)")
                << 6;
            QTest::addRow("%s: delete", qPrintable(b))
                << b << QStringLiteral("delete from tbsqda where f_bmbm='0101' and f_sqbm='02'") << 4;
        }
    }
    void executeSqlTakesWhatTheScreensSend()
    {
        QFETCH(QString, sql);
        QFETCH(int, areas);
        QVERIFY(setUp());
        QStringList lines;
        QVERIFY2(invoke(m_service.get(), sqda::DispExecuteSql, sql, &lines), qPrintable(lines.join(u'|')));
        QCOMPARE(areaCount(m_db->inspect()), areas);
    }

    // SQLite: the file is in write-ahead-log mode, and a start takes no write
    // lock, so it goes through while another workstation is writing; reads too.
    void sqliteStartTakesNoWriteLock_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
    }
    void sqliteStartTakesNoWriteLock()
    {
        QVERIFY(setUp());
        QSqlDatabase other = m_db->inspect();
        QCOMPARE(areaCount(other), 5); // reads the file, so the connection knows its mode
        QSqlQuery mode = runSql(other, QStringLiteral("pragma journal_mode"), {}, {});
        QVERIFY(mode.next());
        QCOMPARE(mode.value(0).toString().toLower(), QStringLiteral("wal"));
        mode = QSqlQuery();

        QSqlQuery(other).exec(QStringLiteral("begin immediate"));
        QVERIFY(QSqlQuery(other).exec(
            QStringLiteral("update tbsqda set f_sqmc='写着' where f_bmbm='0101' and f_sqbm='02'")));
        QString error;
        SqlDataService::Ptr second = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        QVERIFY2(second, qPrintable(error));
        QStringList lines;
        QVERIFY2(invoke(second.get(), sqda::DispGetCodeLevels, QStringLiteral("0101"), &lines),
            qPrintable(lines.join(u'|')));
        QVariantList args { QStringLiteral("select f_sqmc from tbsqda where f_bmbm='0101' and f_sqbm='02'"),
            QVariant() };
        QVERIFY(second->Invoke(sqda::DispQueryData, args).toBool());
        QSqlQuery(other).exec(QStringLiteral("rollback"));
    }

    // An SQLite file from before the width checks gets them at its next start
    // (the one kind of start that takes a write lock besides creating tables),
    // and from then on a rename through ExecuteSql obeys the column's width.
    void sqliteOlderFileGetsWidthChecksAtStart_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
    }
    void sqliteOlderFileGetsWidthChecksAtStart()
    {
        QVERIFY(setUp());
        QSqlDatabase other = m_db->inspect();
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("drop trigger tbsqda_width_update")));
        const auto triggers = [&] {
            QSqlQuery q
                = runSql(other, QStringLiteral("select count(*) from sqlite_master where type = 'trigger'"), {}, {});
            return q.next() ? q.value(0).toInt() : -1;
        };
        const int withoutOne = triggers();

        QString error;
        SqlDataService::Ptr again = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        QVERIFY2(again, qPrintable(error));
        QCOMPARE(triggers(), withoutOne + 1);
        QStringList lines;
        QVERIFY(!invoke(again.get(), sqda::DispExecuteSql, rename(QStringLiteral("02"), QString(41, u'名')), &lines));
        QVERIFY2(lines.join(u'|').contains(QStringLiteral("超出字段宽度")), qPrintable(lines.join(u'|')));
        QVERIFY2(invoke(again.get(), sqda::DispExecuteSql, rename(QStringLiteral("02"), QString(40, u'名')), &lines),
            qPrintable(lines.join(u'|')));
    }

    // Sixteen workstations starting together on an SQLite file that is new, and
    // on one in rollback-journal mode that the first of them switches to WAL.
    void sqliteFirstStartsTogether_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new file") << false;
        QTest::newRow("file in rollback-journal mode") << true;
    }
    void sqliteFirstStartsTogether()
    {
        QFETCH(bool, existing);
        // Two starts switching the mode at the same moment is a narrow race:
        // several rounds give it its chances.
        for (int round = 0; round < (existing ? 20 : 1); ++round) {
            QTemporaryDir dir;
            QString url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("new.sqlite"));
            std::unique_ptr<HostTestDatabase> old;
            if (existing) {
                old = std::make_unique<HostTestDatabase>(QStringLiteral("sqlite"), &HostTestDatabase::smallChain);
                QVERIFY(old->isValid());
                url = old->url();
                QSqlQuery mode = runSql(old->inspect(), QStringLiteral("pragma journal_mode"), {}, {});
                QVERIFY(mode.next());
                QCOMPARE(mode.value(0).toString().toLower(), QStringLiteral("delete"));
            }
            const std::vector<QString> errors = startTogether(url, 16);
            for (int h = 0; h < int(errors.size()); ++h)
                QVERIFY2(errors[size_t(h)].isEmpty(),
                    qPrintable(QStringLiteral("round %1, host %2: %3").arg(round).arg(h).arg(errors[size_t(h)])));
        }
    }

    // Twelve workstations starting at once on a PostgreSQL database that does
    // not exist yet: one creates it, all start, the demo chain is there once.
    void twelvePostgresFirstStartsOnANewDatabase()
    {
        if (postgresUrl().isEmpty())
            QSKIP("no PostgreSQL server");
        const QString name = QStringLiteral("kalmora_new_%1").arg(QCoreApplication::applicationPid());
        dropPostgresDatabase(name);
        const QString url = postgresDatabaseUrl(name);
        const std::vector<QString> errors = startTogether(url, 12);
        for (int h = 0; h < int(errors.size()); ++h)
            QVERIFY2(
                errors[size_t(h)].isEmpty(), qPrintable(QStringLiteral("host %1: %2").arg(h).arg(errors[size_t(h)])));
        {
            QString error;
            SqlDataService::Ptr s = SqlDataService::open(url, QString(), &error);
            QVERIFY2(s, qPrintable(error));
            QVariantList args { QStringLiteral("select count(*) as n from tbsqda"), QVariant() };
            QVERIFY(s->Invoke(sqda::DispQueryData, args).toBool());
            const auto store = sqda::Packet::decode(args.at(1).toByteArray());
            QVERIFY(store);
            QCOMPARE(store->value(0, 0).toLongLong(), qint64(DemoData::areas().size()));
        }
        dropPostgresDatabase(name);
    }

    // The backend is killed while a call waits for a row: that call reports the
    // broken connection and leaves nothing behind; the next call works.
    void postgresBackendKilledMidCall()
    {
        if (postgresUrl().isEmpty())
            QSKIP("no PostgreSQL server");
        m_db = std::make_unique<HostTestDatabase>(QStringLiteral("postgresql"), &HostTestDatabase::smallChain);
        QVERIFY2(m_db->isValid(), qPrintable(m_db->error()));
        QSqlDatabase other = m_db->inspect();
        // Hold the parent row (a leaf so far), so the insert below it waits.
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("begin")));
        QVERIFY(QSqlQuery(other).exec(
            QStringLiteral("select * from tbsqda where f_bmbm='0101' and f_sqbm='02' for update")));

        std::atomic<int> stage { 0 }; // 1: first call over; 2: go on
        bool firstOk = true, secondOk = false;
        QStringList firstLines, secondLines;
        QString openError;
        std::thread host([&] {
            SqlDataService::Ptr s = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &openError);
            if (s)
                firstOk = invoke(s.get(), sqda::DispInsertArea, areaPacket(QStringLiteral("0201"), 2), &firstLines);
            stage = 1;
            while (stage.load() != 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (s)
                secondOk = invoke(s.get(), sqda::DispInsertArea, areaPacket(QStringLiteral("0201"), 2), &secondLines);
        });

        // Find the waiting backend and end it.
        bool killed = false;
        for (int i = 0; i < 500 && !killed && stage.load() == 0; ++i) {
            QSqlQuery q(other);
            // The activity view is read once per transaction unless cleared, and this one is open.
            q.exec(QStringLiteral("select pg_stat_clear_snapshot()"));
            q.exec(QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where wait_event_type = "
                                  "'Lock' and application_name = 'kalmora-host' and datname = current_database()"));
            killed = q.next() && q.value(0).toBool();
            if (!killed)
                QTest::qWait(10);
        }
        while (stage.load() == 0)
            QTest::qWait(5);
        QSqlQuery(other).exec(QStringLiteral("rollback"));
        if (!killed) {
            stage = 2;
            host.join();
            QFAIL("the waiting call's backend was not found");
        }
        const auto finish = qScopeGuard([&] {
            stage = 2;
            if (host.joinable())
                host.join();
        });
        QVERIFY(openError.isEmpty());
        QVERIFY(!firstOk);
        QVERIFY2(firstLines.value(0).contains(QStringLiteral("连接中断")), qPrintable(firstLines.join(u'|')));
        // Nothing of the cut-off call: no new row, the parent still a leaf.
        QCOMPARE(areaCount(other), 5);
        QCOMPARE(areaValue(other, QStringLiteral("0101"), QStringLiteral("02"), "f_mj").toInt(), 1);

        stage = 2;
        host.join();
        QVERIFY2(secondOk, qPrintable(secondLines.join(u'|')));
        QCOMPARE(areaCount(other), 6);
        QCOMPARE(areaValue(other, QStringLiteral("0101"), QStringLiteral("02"), "f_mj").toInt(), 0);
    }

    // The server restarts between two calls: the next call connects again and
    // succeeds; so do the ones after it.
    void postgresRestartMidSession()
    {
        if (qEnvironmentVariableIsSet("KALMORA_TEST_PG_URL") || postgresUrl().isEmpty())
            QSKIP("restarts only the server the test fixture started");
        m_db = std::make_unique<HostTestDatabase>(QStringLiteral("postgresql"), &HostTestDatabase::smallChain);
        QVERIFY2(m_db->isValid(), qPrintable(m_db->error()));
        QString error;
        m_service = SqlDataService::open(m_db->url(), QStringLiteral("0101"), &error);
        QVERIFY2(m_service, qPrintable(error));
        QVERIFY(invoke(m_service.get(), sqda::DispGetCodeLevels, QStringLiteral("0101")));

        const QString restartError = pgFixture(QStringLiteral("restart"));
        QVERIFY2(restartError.isEmpty(), qPrintable(restartError));

        QStringList lines;
        QVERIFY2(invoke(m_service.get(), sqda::DispGetCodeLevels, QStringLiteral("0101"), &lines),
            qPrintable(lines.join(u'|')));
        QCOMPARE(lines, QStringList { QStringLiteral("2223") });
        QVERIFY2(invoke(m_service.get(), sqda::DispInsertArea, areaPacket(QStringLiteral("03"), 1), &lines),
            qPrintable(lines.join(u'|')));
        QVERIFY(invoke(m_service.get(), sqda::DispExecuteSql, rename(QStringLiteral("03"), QStringLiteral("重启后"))));
        m_db.reset(); // its inspecting connection died with the restart
        m_service.reset();
    }
};

QTEST_MAIN(TestFaults)
#include "tst_hostapp_faults.moc"
