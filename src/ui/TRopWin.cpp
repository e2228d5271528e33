#include "TRopWin.h"

#include "TRopInst.h"

#include "host/HostContext.h"
#include "host/LibraryWindows.h"

#include <memory>

namespace sqda {

TRopWin::TRopWin(QObject *owner)
    : QObject(owner)
{
}

TRopWin::~TRopWin()
{
    // The screen that owns this component is going: its popup goes too, and
    // ShowPopup returns touching nothing of it.
    if (m_popup)
        m_popup->close();
}

void TRopWin::ShowPopup()
{
    if (Lines.isEmpty()) {
        showMessageBox(
            ownerWindow(), QMessageBox::NoIcon, QStringLiteral("Error"), QStringLiteral("The Lines is empty"));
        return;
    }
    // Owned here, not by a window, so it goes away on every way out of this call.
    auto popup = std::make_unique<TRopInst>();
    m_popup = popup.get();
    popup->setFont(Font);
    popup->FontColor = FontColor;
    popup->Fill = Brush;
    popup->Lines = Lines;
    popup->xPos = xPos;
    popup->yPos = yPos;
    popup->TimeClose = TimeClose;
    popup->PlacePopup();
    popup->execModal();
}

} // namespace sqda
