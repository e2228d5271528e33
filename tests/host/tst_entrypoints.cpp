// The plug-in as a host sees it: loaded with QLibrary, screens opened through
// the two exported functions, resized and closed through the host messages.
#include "FakeCoorDisp.h"
#include "ModalAnswerer.h"
#include "TestHost.h"

#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>

#include <QApplication>
#include <QLibrary>
#include <QPointer>
#include <QTest>

using namespace sqda;
using namespace sqda::test;

class TestEntryPoints : public QObject
{
    Q_OBJECT

    QLibrary m_lib { QStringLiteral(SQDA_LIBRARY_PATH) };
    GetFormOneFn m_getFormOne = nullptr;
    GetFormOneSearchFn m_getFormOneSearch = nullptr;

    // What the maintenance screen asks for when it is shown: its department's
    // areas (none here) and their level structure.
    static void answerAreaTree(FakeCoorDisp &service)
    {
        service.on(DispQueryData,
            FakeCoorDisp::succeed(
                1, makeTextPacket({ QStringLiteral("f_sqbm"), QStringLiteral("f_sqmc"), QStringLiteral("f_jb") }, {})));
        service.on(DispGetCodeLevels, FakeCoorDisp::succeed(0, QStringLiteral("2223")));
    }

    static QWidget *formIn(QWidget *parent)
    {
        const QList<QWidget *> forms = embeddedForms(parent);
        return forms.isEmpty() ? nullptr : forms.last();
    }

    // One entry call as a host makes it; returns the form it embedded.
    static QWidget *open(
        GetFormOneFn entry, TestHostWindow &host, FakeCoorDisp &service, const QByteArray &operatorCode = "0001")
    {
        const QByteArray op = toShortString(operatorCode);
        entry(&host, host.hostControl, reinterpret_cast<const uchar *>(op.constData()), host.parentControl, &service);
        return formIn(host.parentControl);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_lib.load(), qPrintable(m_lib.errorString()));
        m_getFormOne = reinterpret_cast<GetFormOneFn>(m_lib.resolve("GetFormOne"));
        m_getFormOneSearch = reinterpret_cast<GetFormOneSearchFn>(m_lib.resolve("GetFormOneSearch"));
        QVERIFY(m_getFormOne);
        QVERIFY(m_getFormOneSearch);
    }

    void secondCallReplacesTheContextOfAllForms()
    {
        TestHostWindow host1, host2;
        auto service1 = FakeCoorDisp::create();
        auto service2 = FakeCoorDisp::create();
        service1->setupEnvironment();
        service2->setupEnvironment();
        answerAreaTree(*service1);
        answerAreaTree(*service2);
        ModalAnswerer answerer;

        QPointer<QWidget> first = open(m_getFormOne, host1, *service1);
        QVERIFY(first);
        QPointer<QWidget> second = open(m_getFormOne, host2, *service2);
        QVERIFY(second && second != first);

        // The library keeps one reference, to the latest service only; each open
        // screen's environment object holds one more on the service it was made with.
        QCOMPARE(service1->refCount, 2);
        QCOMPARE(service2->refCount, 3);

        // From now on the first screen, too, talks to the second service: its
        // refresh (Ctrl+R) loads the tree from there.
        service1->clearCalls();
        service2->clearCalls();
        QApplication::setActiveWindow(&host1);
        auto *tree = first->findChild<QWidget *>(QStringLiteral("TN"));
        QVERIFY(tree);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(service1->calls.isEmpty());
        QCOMPARE(service2->count(DispQueryData), 1);

        first->close();
        QCOMPARE(service1->refCount, 1);
        QCOMPARE(host1.hostControl->closedNotifications, 0);
        QCOMPARE(host2.hostControl->closedNotifications, 1);
        QTRY_VERIFY(!first); // freed once back in the event loop
        QVERIFY(second);

        // A second close request before deletion does not notify again.
        second->close();
        second->close();
        QCOMPARE(host2.hostControl->closedNotifications, 2);
        QTRY_VERIFY(!second);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void resizeMessageSizesMainPanelOnly()
    {
        TestHostWindow host;
        auto service = FakeCoorDisp::create();
        service->setupEnvironment();
        ModalAnswerer answerer;
        QWidget *form = open(m_getFormOneSearch, host, *service);
        QVERIFY(form);
        auto *panel = form->findChild<QWidget *>(QStringLiteral("PanelMain"));
        QVERIFY(panel);
        // The entry call gives the panel the parent control's size.
        QCOMPARE(panel->size(), host.parentControl->size());

        const QSize formSize = form->size();
        QCOMPARE(sendHostMessage(form, HostResizeMessage, 300, 500), qintptr(0));
        QCOMPARE(panel->width(), 500);
        QCOMPARE(panel->height(), 300);
        QCOMPARE(form->size(), formSize);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void operatorCodeSurvivesWhole_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("255") << QByteArray(255, '7');
    }

    void operatorCodeSurvivesWhole()
    {
        QFETCH(QByteArray, code);
        TestHostWindow host;
        auto service = FakeCoorDisp::create();
        service->setupEnvironment();
        ModalAnswerer answerer;
        QCOMPARE(toShortString(code).size(), code.size() + 1);
        open(m_getFormOneSearch, host, *service, code);
        // The operator code reaches the host in the name look-up, whole; an empty
        // code makes no look-up at all.
        const auto lookups = service->callsOf(DispGetOperatorName);
        if (code.isEmpty()) {
            QVERIFY(lookups.isEmpty());
        } else {
            QCOMPARE(lookups.size(), 1);
            QCOMPARE(lookups.first().args.at(1).toString(), QString::fromLatin1(code));
        }
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void destroyingTheParentDestroysTheFormSilently()
    {
        TestHostWindow host;
        auto service = FakeCoorDisp::create();
        service->setupEnvironment();
        answerAreaTree(*service);
        ModalAnswerer answerer;
        QPointer<QWidget> form = open(m_getFormOne, host, *service);
        QVERIFY(form);
        delete host.parentControl;
        QVERIFY(!form);
        QCOMPARE(host.hostControl->closedNotifications, 0);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    // Runs last: unloading the library gives back its reference to the service.
    void unloadReleasesTheDataService()
    {
        auto service = FakeCoorDisp::create();
        service->setupEnvironment();
        answerAreaTree(*service);
        {
            TestHostWindow host;
            ModalAnswerer answerer;
            QVERIFY(open(m_getFormOne, host, *service));
            QCOMPARE(service->refCount, 3); // the test's, the library's, the screen's environment
        } // the host window and with it the form are gone
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!m_lib.unload())
            QSKIP("the platform keeps this library loaded");
        QCOMPARE(service->refCount, 1);
    }
};

QTEST_MAIN(TestEntryPoints)
#include "tst_entrypoints.moc"
