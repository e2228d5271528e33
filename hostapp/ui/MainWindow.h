// The host's main window: the library's screens, each in a tab of its own.
//
// One host control serves every screen. When a form reports that it closed,
// or is destroyed, the window removes every tab whose form is no longer open;
// it does so from the event loop, after the form has finished closing.
#pragma once

#include "SqdaLibrary.h"
#include "core/SqlDataService.h"

#include <QMainWindow>
#include <QPointer>

class QTabWidget;
class QAction;

namespace kalmora {

class HostControl;
class ScreenPage;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum class Screen { Maintenance, Query };

    MainWindow(SqdaLibrary &library, SqlDataService::Ptr service, const QString &operatorCode,
        const QString &statusText = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a screen in a new tab and makes it current. Returns the tab's page,
    // or null when the library created no form there.
    ScreenPage *openScreen(Screen screen);
    // Asks every open form to close (the query screen saves its layout then).
    void closeAllScreens();

    QTabWidget *tabs() const { return m_tabs; }
    HostControl *hostControl() const { return m_hostControl; }
    QAction *openMaintenanceAction() const { return m_openMaintenance; }
    QAction *openQueryAction() const { return m_openQuery; }

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void scheduleCleanup();
    void removeClosedScreens();
    void closeScreenAt(int index);
    void showAbout();

    SqdaLibrary &m_library;
    SqlDataService::Ptr m_service;
    QString m_operatorCode;
    QString m_statusText;
    QTabWidget *m_tabs = nullptr;
    HostControl *m_hostControl = nullptr;
    QAction *m_openMaintenance = nullptr;
    QAction *m_openQuery = nullptr;
    bool m_cleanupPending = false;
};

} // namespace kalmora
