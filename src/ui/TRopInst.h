// The shortcut popup window: borderless, with no background of its own, so the
// parts it does not paint (two corners and the clear dots of the shadow) show
// what lies behind it. Shown modally; the next key, mouse press or timer tick
// closes it. The window is shaped to the pixels it paints (a window mask), and
// is translucent besides, so compositing and plain X servers show the same.
#pragma once

#include <QBrush>
#include <QColor>
#include <QStringList>
#include <QWidget>

class QEventLoop;
class QTimer;

namespace sqda {

class TRopInst : public QWidget
{
    Q_OBJECT
public:
    TRopInst();
    ~TRopInst() override;

    // Copies taken from the component when shown.
    QStringList Lines;
    QBrush Fill { Qt::white };
    QColor FontColor; // invalid: the palette's window-text colour
    int xPos = 0;
    int yPos = 0;
    int TimeClose = 0;

    QTimer *Timer1;

    // Sizes and positions the popup from its text and placement values and
    // arms the timer.
    void PlacePopup();
    // Shows the popup modally and returns once it has closed.
    void execModal();

    QColor textColor() const;
    // The pixels the popup paints: the box and the painted dots of the shadow.
    // The window is cut to them, so the rest shows what lies behind it on any X
    // server, with or without a compositor.
    QRegion paintedRegion() const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    QEventLoop *m_loop = nullptr;
};

} // namespace sqda
