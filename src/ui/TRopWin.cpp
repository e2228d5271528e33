#include "TRopWin.h"

#include "TRopInst.h"

#include "host/HostContext.h"

#include <QMessageBox>

#include <memory>

namespace sqda {

TRopWin::TRopWin(QObject *owner)
    : QObject(owner)
{
}

TRopWin::~TRopWin() = default;

void TRopWin::ShowPopup()
{
    if (Lines.isEmpty()) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), QStringLiteral("The Lines is empty"),
            QMessageBox::Ok, ownerWindow());
        box.exec();
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
