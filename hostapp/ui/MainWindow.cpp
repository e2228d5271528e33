#include "MainWindow.h"

#include "HostControl.h"
#include "ScreenPage.h"

#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

namespace kalmora {

MainWindow::MainWindow(SqdaLibrary &library, SqlDataService::Ptr service, const QString &operatorCode,
    const QString &statusText, QWidget *parent)
    : QMainWindow(parent)
    , m_library(library)
    , m_service(std::move(service))
    , m_operatorCode(operatorCode)
    , m_statusText(statusText)
{
    setObjectName(QStringLiteral("kalmoraHostWindow"));
    setWindowTitle(QStringLiteral("卡尔莫拉商业管理系统 - 商圈档案"));
    resize(1024, 700);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("screens"));
    m_tabs->setTabsClosable(true);
    m_tabs->setDocumentMode(true);
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, &MainWindow::closeScreenAt);

    m_hostControl = new HostControl(this);
    connect(m_hostControl, &HostControl::formClosed, this, &MainWindow::scheduleCleanup);

    // No Ctrl+letter shortcuts here: the screens use them for their own commands.
    m_openMaintenance = new QAction(QStringLiteral("商圈档案维护(&M)"), this);
    m_openMaintenance->setObjectName(QStringLiteral("actOpenMaintenance"));
    m_openMaintenance->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    m_openMaintenance->setStatusTip(QStringLiteral("在新标签页中打开商圈档案维护画面"));
    connect(m_openMaintenance, &QAction::triggered, this, [this] { openScreen(Screen::Maintenance); });

    m_openQuery = new QAction(QStringLiteral("商圈档案查询(&Q)"), this);
    m_openQuery->setObjectName(QStringLiteral("actOpenQuery"));
    m_openQuery->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    m_openQuery->setStatusTip(QStringLiteral("在新标签页中打开商圈档案查询画面"));
    connect(m_openQuery, &QAction::triggered, this, [this] { openScreen(Screen::Query); });

    auto *closeTab = new QAction(QStringLiteral("关闭当前画面(&C)"), this);
    closeTab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    connect(closeTab, &QAction::triggered, this, [this] { closeScreenAt(m_tabs->currentIndex()); });

    auto *quit = new QAction(QStringLiteral("退出(&X)"), this);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    auto *about = new QAction(QStringLiteral("关于(&A)"), this);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    QMenu *screens = menuBar()->addMenu(QStringLiteral("画面(&S)"));
    screens->addAction(m_openMaintenance);
    screens->addAction(m_openQuery);
    screens->addSeparator();
    screens->addAction(closeTab);
    screens->addSeparator();
    screens->addAction(quit);
    menuBar()->addMenu(QStringLiteral("帮助(&H)"))->addAction(about);

    QToolBar *bar = addToolBar(QStringLiteral("画面"));
    bar->setObjectName(QStringLiteral("screensToolBar"));
    bar->setMovable(false);
    bar->addAction(m_openMaintenance);
    bar->addAction(m_openQuery);

    statusBar()->addWidget(new QLabel(m_statusText, this));
}

MainWindow::~MainWindow()
{
    // The pages and their forms go while this is still a MainWindow: a form's
    // destruction calls back into it.
    delete m_tabs;
    m_tabs = nullptr;
}

ScreenPage *MainWindow::openScreen(Screen screen)
{
    const bool maintenance = screen == Screen::Maintenance;
    GetFormOneFn entry = maintenance ? m_library.getFormOne : m_library.getFormOneSearch;
    if (!entry || !m_service)
        return nullptr;

    auto *page = new ScreenPage;
    const int index = m_tabs->addTab(page, maintenance ? QStringLiteral("商圈档案") : QStringLiteral("商圈查询"));
    m_tabs->setCurrentIndex(index);
    // The page must have its final size and be visible before the call: the
    // form takes the size during the call and runs its show handling in it.
    if (QWidget *stack = page->parentWidget())
        page->setGeometry(stack->contentsRect());

    const QByteArray op = sqda::toShortString(m_operatorCode.toUtf8());
    entry(this, m_hostControl, reinterpret_cast<const unsigned char *>(op.constData()), page, m_service.get());

    for (QWidget *form : sqda::embeddedForms(page))
        connect(form, &QObject::destroyed, this, &MainWindow::scheduleCleanup);
    page->fitForms();
    if (!page->openForm()) {
        removeClosedScreens();
        return nullptr;
    }
    return page;
}

void MainWindow::scheduleCleanup()
{
    if (m_cleanupPending)
        return;
    m_cleanupPending = true;
    QTimer::singleShot(0, this, &MainWindow::removeClosedScreens);
}

void MainWindow::removeClosedScreens()
{
    m_cleanupPending = false;
    if (!m_tabs)
        return;
    for (int i = m_tabs->count() - 1; i >= 0; --i) {
        auto *page = qobject_cast<ScreenPage *>(m_tabs->widget(i));
        if (page && !page->openForm()) {
            m_tabs->removeTab(i);
            page->deleteLater();
        }
    }
}

void MainWindow::closeScreenAt(int index)
{
    auto *page = qobject_cast<ScreenPage *>(m_tabs->widget(index));
    if (!page)
        return;
    // The form closes the way its own exit button closes it, which notifies us.
    page->closeForm();
    scheduleCleanup();
}

void MainWindow::closeAllScreens()
{
    for (int i = m_tabs->count() - 1; i >= 0; --i) {
        if (auto *page = qobject_cast<ScreenPage *>(m_tabs->widget(i)))
            page->closeForm();
    }
    removeClosedScreens();
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    closeAllScreens();
    e->accept();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, QStringLiteral("关于"),
        QStringLiteral("卡尔莫拉商业管理系统参考主机\n\n%1\n组件：%2").arg(m_statusText, m_library.fileName()));
}

} // namespace kalmora
