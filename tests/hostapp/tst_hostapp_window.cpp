// The host's main window with the real plug-in and the real data service (the
// demo chain in an SQLite file): screens in tabs, sizes passed on, tabs that go
// when their form closes, forms that close when their tab does.
#include "ModalAnswerer.h"

#include "core/SqlDataService.h"
#include "ui/HostControl.h"
#include "ui/MainWindow.h"
#include "ui/ScreenPage.h"
#include "ui/SqdaLibrary.h"

#include <sqda/HostMessage.h>

#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

using namespace kalmora;
using sqda::test::ModalAnswerer;

class TestHostWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SqdaLibrary m_library;
    SqlDataService::Ptr m_service;

    std::unique_ptr<MainWindow> newWindow()
    {
        auto w = std::make_unique<MainWindow>(m_library, m_service, QStringLiteral("0001"), QStringLiteral("测试"));
        w->resize(1000, 700);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qWarning("window not exposed");
        return w;
    }

    static QWidget *panelOf(QWidget *form)
    {
        return form ? form->findChild<QWidget *>(QStringLiteral("PanelMain")) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_library.load(QStringLiteral(SQDA_LIBRARY_PATH), &error), qPrintable(error));
        m_service = SqlDataService::open(
            QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("demo.sqlite")), QString(), &error);
        QVERIFY2(m_service, qPrintable(error));
    }

    void cleanupTestCase() { m_service.reset(); }

    void screensOpenInTabsAndFollowTheirSize()
    {
        ModalAnswerer answerer;
        auto w = newWindow();
        ScreenPage *maintenance = w->openScreen(MainWindow::Screen::Maintenance);
        ScreenPage *query = w->openScreen(MainWindow::Screen::Query);
        QVERIFY(maintenance && query);
        QCOMPARE(w->tabs()->count(), 2);
        QCOMPARE(w->tabs()->currentWidget(), query);
        QVERIFY(maintenance->openForm() && query->openForm());
        QVERIFY(maintenance->openForm() != query->openForm());

        for (const QSize size : { QSize(1200, 800), QSize(700, 500) }) {
            w->resize(size);
            QTRY_COMPARE(w->size(), size);
            for (ScreenPage *page : { query, maintenance }) {
                QWidget *form = page->openForm();
                QCOMPARE(form->geometry(), page->rect());
                QVERIFY(panelOf(form));
                QCOMPARE(panelOf(form)->size(), page->size());
            }
        }
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void aClosedFormTakesItsTabAlong()
    {
        ModalAnswerer answerer;
        auto w = newWindow();
        ScreenPage *first = w->openScreen(MainWindow::Screen::Maintenance);
        QPointer<ScreenPage> second = w->openScreen(MainWindow::Screen::Maintenance);
        QVERIFY(first && second);
        QPointer<QWidget> form = first->openForm();

        form->close(); // as the form's own exit button does
        QCOMPARE(w->hostControl()->notifications(), 1);
        QTRY_COMPARE(w->tabs()->count(), 1);
        QCOMPARE(w->tabs()->widget(0), second.data());
        QTRY_VERIFY(!form);
        QVERIFY(second->openForm());
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void closingATabClosesItsForm()
    {
        ModalAnswerer answerer;
        auto w = newWindow();
        w->openScreen(MainWindow::Screen::Query);
        ScreenPage *page = w->openScreen(MainWindow::Screen::Maintenance);
        QPointer<QWidget> form = page->openForm();
        QTabBar *bar = w->tabs()->tabBar();
        QWidget *closeButton = bar->tabButton(1, QTabBar::RightSide);
        QVERIFY(closeButton);

        QTest::mouseClick(closeButton, Qt::LeftButton);
        QCOMPARE(w->hostControl()->notifications(), 1); // it closed the way it closes itself
        QTRY_COMPARE(w->tabs()->count(), 1);
        QTRY_VERIFY(!form);
        QVERIFY(answerer.unexpected.isEmpty());
    }

    void toolBarOpensScreensAndClosingTheWindowClosesThem()
    {
        ModalAnswerer answerer;
        auto w = newWindow();
        auto *bar = w->findChild<QToolBar *>(QStringLiteral("screensToolBar"));
        QVERIFY(bar);
        QTest::mouseClick(bar->widgetForAction(w->openMaintenanceAction()), Qt::LeftButton);
        QTest::mouseClick(bar->widgetForAction(w->openQueryAction()), Qt::LeftButton);
        QTest::mouseClick(bar->widgetForAction(w->openQueryAction()), Qt::LeftButton);
        QCOMPARE(w->tabs()->count(), 3);
        QCOMPARE(w->tabs()->tabText(0), QStringLiteral("商圈档案"));
        QCOMPARE(w->tabs()->tabText(2), QStringLiteral("商圈查询"));

        w->close();
        QCOMPARE(w->hostControl()->notifications(), 3);
        QTRY_COMPARE(w->tabs()->count(), 0);
        QVERIFY(answerer.unexpected.isEmpty());
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostapp_window.moc"
