#include "HostGuard.h"

#include "HostContext.h"
#include "ShowHostError.h"

#include <QApplication>

namespace sqda {

void showErrorMessage(const QString &message)
{
    // The library lives in someone else's program: its own caption, not the host's title.
    showHostErrorText(ownerWindow(), message);
}

bool runGuarded(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const std::exception &e) {
        showErrorMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        showErrorMessage(QStringLiteral("未知错误！"));
    }
    return false;
}

} // namespace sqda
