// kalmora-host: the reference host of the trade-area screens.
//
//   kalmora-host [--database URL] [--department CODE] [--operator CODE]
//                [--open maintenance|query] [--screenshot FILE] [--data-dir DIR]
//                [--library FILE]
#include "core/HostOptions.h"
#include "core/SqlDataService.h"
#include "ui/MainWindow.h"
#include "ui/SqdaLibrary.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

using namespace kalmora;

namespace {

enum ExitCode { Ok = 0, BadOptions = 2, StartFailed = 3, ScreenshotFailed = 4 };

// Errors go to the terminal; a user who started the program from a desktop
// sees them in a message box too (never while rendering a screenshot, which
// must not wait for anyone).
int failStart(const QString &message, bool interactive, int code = StartFailed)
{
    std::fprintf(stderr, "kalmora-host: %s\n", qPrintable(message));
    if (interactive)
        QMessageBox::critical(nullptr, QStringLiteral("错误"), message);
    return code;
}

// Renders the main window with its current screen into `file` (written whole or
// not at all) and reports a modal dialog that is up, which means the screen
// could not open as it should.
int takeScreenshot(MainWindow &window, const QString &file)
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        std::fprintf(
            stderr, "kalmora-host: a dialog is open instead of the screen: %s\n", qPrintable(modal->windowTitle()));
    }
    const QPixmap shot = window.grab();
    QSaveFile out(file);
    if (shot.isNull() || !out.open(QIODevice::WriteOnly) || !shot.save(&out, "PNG") || !out.commit()) {
        std::fprintf(stderr, "kalmora-host: cannot write %s\n", qPrintable(file));
        return ScreenshotFailed;
    }
    return QApplication::activeModalWidget() ? StartFailed : Ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kalmora"));
    QApplication::setApplicationName(QStringLiteral("kalmora-host"));

    QString error;
    bool exitNow = false;
    const std::optional<HostOptions> options = HostOptions::parse(QApplication::arguments(), &error, &exitNow);
    if (!options) {
        if (exitNow) {
            std::fprintf(stdout, "%s", qPrintable(error));
            return Ok;
        }
        std::fprintf(stderr, "kalmora-host: %s\n", qPrintable(error));
        return BadOptions;
    }
    const bool interactive = options->screenshot.isEmpty();

    // The library keeps Kalmorapos.ini in KALMORA_HOME, else in the program's
    // folder: right beside a program in its build tree, but an installed
    // program's folder (/usr/bin) is no place for a user's settings, so those go
    // to the user's data folder.
    if (qEnvironmentVariableIsEmpty("KALMORA_HOME") && !SqdaLibrary::inBuildTree()) {
        const QString home = options->effectiveDataDir();
        QDir().mkpath(home);
        qputenv("KALMORA_HOME", QFile::encodeName(home));
    }

    SqlDataService::Ptr service = SqlDataService::open(options->databaseUrl(), options->department, &error);
    if (!service)
        return failStart(error, interactive);

    QString operatorCode = options->operatorCode;
    if (!options->operatorGiven)
        operatorCode = service->firstOperator();
    QString operatorName;
    if (!operatorCode.isEmpty()) {
        operatorName = service->operatorName(operatorCode, &error);
        if (operatorName.isEmpty())
            return failStart(error, interactive);
    }

    SqdaLibrary library;
    if (!library.load(options->library, &error))
        return failStart(error, interactive);

    // A read-only database says so where the user looks first.
    const QString database = service->readOnlyReason().isEmpty()
        ? service->databaseText()
        : QStringLiteral("%1（只读：%2）").arg(service->databaseText(), service->readOnlyReason());
    const QString status
        = QStringLiteral("数据库：%1　部门：%2　操作员：%3")
              .arg(database, service->department(),
                  operatorCode.isEmpty() ? QStringLiteral("（无）") : operatorCode + u' ' + operatorName);
    int result = Ok;
    {
        MainWindow window(library, service, operatorCode, status);
        window.show();

        if (options->open != HostOptions::Screen::None) {
            const auto screen = options->open == HostOptions::Screen::Maintenance ? MainWindow::Screen::Maintenance
                                                                                  : MainWindow::Screen::Query;
            if (!interactive) {
                // Armed before the screen opens, so it also fires inside a dialog
                // the screen might show; exit() then ends that dialog's loop too.
                QTimer::singleShot(500, &window, [&window, &options, &result] {
                    result = takeScreenshot(window, options->screenshot);
                    QApplication::exit(result);
                });
            }
            QTimer::singleShot(0, &window, [&window, screen] { window.openScreen(screen); });
        }
        const int loop = QApplication::exec();
        if (interactive)
            result = loop;
        window.closeAllScreens();
    }
    // The library keeps its reference until the process ends; the connection goes now.
    service->close();
    return result;
}
