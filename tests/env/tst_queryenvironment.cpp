// The query screen's start: it reads its environment while it is created, shows
// a failure in an error box and then closes itself once shown, notifying the
// host exactly once either way.
#include "EnvTests.h"

#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include "host/HostContext.h"
#include "query/TfrmQuery.h"

#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

using namespace sqda;
using namespace sqda::test;

class TestQueryEnvironment : public QObject
{
    Q_OBJECT

    // What an entry call hands over.
    static void enter(TestHostWindow &host, FakeCoorDisp &service, const QString &operatorCode)
    {
        HostContext &ctx = hostContext();
        ctx.AppWindow = &host;
        ctx.HostControl = host.hostControl;
        ctx.OperatorCode = operatorCode;
        ctx.DataService = CoorDispRef(&service);
        setOwnerWindow(nullptr);
    }

    // Gives the context's reference back before the test's service goes away.
    struct LeaveHost
    {
        ~LeaveHost() { releaseHostContext(); }
    };

    // The screen keeps its column layout in the host program's folder: a
    // folder of the test's own, not the build tree.
    QTemporaryDir m_home;
    QByteArray m_savedHome;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        m_savedHome = qgetenv("KALMORA_HOME");
        qputenv("KALMORA_HOME", m_home.path().toLocal8Bit());
    }

    void cleanupTestCase()
    {
        if (m_savedHome.isEmpty())
            qunsetenv("KALMORA_HOME");
        else
            qputenv("KALMORA_HOME", m_savedHome);
    }

    void readsItsEnvironmentAtCreation_data()
    {
        QTest::addColumn<QString>("unitType");
        QTest::addColumn<QString>("departmentFilter");
        QTest::newRow("front counters 01") << "01"
                                           << "0101";
        QTest::newRow("front counters 02") << "02"
                                           << "0101";
        QTest::newRow("front counters 11") << "11"
                                           << "0101";
        QTest::newRow("head office") << "03"
                                     << "";
    }

    void readsItsEnvironmentAtCreation()
    {
        QFETCH(QString, unitType);
        QFETCH(QString, departmentFilter);
        TestHostWindow host;
        FakeCoorDisp service;
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params.insert(QStringLiteral("dwlx"), unitType);
        service.setupEnvironment(params);
        enter(host, service, QStringLiteral("0001"));
        const LeaveHost leave;
        ModalAnswerer answerer;

        QPointer<TfrmQuery> form = new TfrmQuery(host.parentControl);
        QCOMPARE(ownerWindow(), &host); // the base creation step ran
        QVERIFY(form->Environment);
        QVERIFY(!form->CloseOnShow);
        QCOMPARE(form->Info.OperatorCode, QStringLiteral("0001"));
        QCOMPARE(form->Info.OperatorName, QStringLiteral("张三"));
        QCOMPARE(form->Info.ServerDate, QStringLiteral("20261209"));
        QCOMPARE(form->Info.ServerDateTime.mid(8, 8), QStringLiteral("10:11:12"));
        QCOMPARE(form->Info.dwlx, unitType);
        QCOMPARE(form->Info.DbKind, QStringLiteral("SQLSERVER"));
        QCOMPARE(form->DepartmentFilter, departmentFilter);
        QCOMPARE(service.count(DispGetSystemParameters), 1);
        QCOMPARE(service.refCount, 2L); // the context's and the environment's

        form->show();
        QVERIFY(form->isVisible());
        QCOMPARE(host.hostControl->closedNotifications, 0);

        form->close();
        QCOMPARE(host.hostControl->closedNotifications, 1);
        QCOMPARE(service.refCount, 1L); // closing destroyed the environment
        QTRY_VERIFY(!form);
        QVERIFY(answerer.unexpected.isEmpty());
        QVERIFY(answerer.seen.isEmpty());
    }

    void failureShowsTheMessageAndCloses_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QString>("message");
        QTest::newRow("year and month") << "year and month"
                                        << "取得当前年月时出错！";
        QTest::newRow("qyny") << "qyny"
                              << "没有可利用的启用年月！";
        QTest::newRow("dybm") << "dybm"
                              << "没有可利用的连锁编码及前台销售柜组编码！";
    }

    void failureShowsTheMessageAndCloses()
    {
        QFETCH(QString, missing);
        QFETCH(QString, message);
        TestHostWindow host;
        FakeCoorDisp service;
        QMap<QString, QString> params = FakeCoorDisp::defaultParameters();
        params.remove(missing);
        service.setupEnvironment(params);
        if (missing == QLatin1String("year and month"))
            service.on(DispGetServerYearMonth, FakeCoorDisp::fail(0, QVariantList { "主机错误" }));
        enter(host, service, QStringLiteral("0001"));
        const LeaveHost leave;

        ModalAnswerer answerer;
        QWidget *boxOwner = nullptr;
        answerer.then([&](QWidget *modal) {
            boxOwner = modal->parentWidget();
            answerer.seen << ModalAnswerer::describe(modal);
            ModalAnswerer::pressButton(modal, QStringLiteral("Ok"));
        });

        QPointer<TfrmQuery> form = new TfrmQuery(host.parentControl);
        QVERIFY(form->CloseOnShow);
        QVERIFY(form->DepartmentFilter.isEmpty());
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().title, QStringLiteral("错误"));
        QCOMPARE(answerer.seen.first().text, message);
        QCOMPARE(answerer.seen.first().icon, int(QMessageBox::Critical));
        QCOMPARE(boxOwner, form.data()); // owned by the form itself

        QCOMPARE(host.hostControl->closedNotifications, 0);
        form->show(); // closes itself at once
        QCOMPARE(host.hostControl->closedNotifications, 1);
        QCOMPARE(service.refCount, 1L);
        QTRY_VERIFY(!form);
        QCOMPARE(host.hostControl->closedNotifications, 1);
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

int runQueryEnvironmentTests(int argc, char **argv)
{
    TestQueryEnvironment t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_queryenvironment.moc"
