#include "env/ScreenEnvironment.h"

#include "host/HostContext.h"
#include "host/LibraryWindows.h"

#include <QPointer>

namespace sqda {

std::unique_ptr<TTesselClass> openEnvironment(CoorDispRef service, QWidget *window)
{
    // The owner is fixed when the object is made, as its owner window was.
    const QPointer<QWidget> owner = window ? window : hostContext().AppWindow.data();
    return std::make_unique<TTesselClass>(std::move(service), [owner](const QString &text) {
        showMessageBox(owner.data(), QMessageBox::Warning, QStringLiteral("警告"), text);
    });
}

} // namespace sqda
