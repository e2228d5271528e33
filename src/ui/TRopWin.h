// The shortcut-help popup component: a framed box of text lines with a dithered
// drop shadow, shown modally and closed by the next key, click or timer tick.
#pragma once

#include "TRopInst.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace sqda {

class TRopWin : public QObject
{
    Q_OBJECT
public:
    explicit TRopWin(QObject *owner = nullptr);
    ~TRopWin() override;

    QBrush Brush { Qt::white }; // fill of the text box
    QFont Font; // font of the text
    QColor FontColor; // colour of the text; invalid: the window-text colour
    QStringList Lines;
    int TimeClose = 0; // ms; > 0 closes the popup by itself
    int xPos = 0; // screen pixels; 0 centres
    int yPos = 0;

    // Shows the lines and returns once the popup has closed.
    void ShowPopup();
    // The popup while one is shown.
    TRopInst *popup() const { return m_popup; }

private:
    QPointer<TRopInst> m_popup;
};

} // namespace sqda
