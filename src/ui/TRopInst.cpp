#include "TRopInst.h"

#include "PopupGeometry.h"

#include <QBitmap>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace sqda {

namespace {

// The shadow's 8 × 8 tile. It stands for the pattern combined by AND with what
// is behind the window: a white pixel changes nothing and stays clear; any
// other colour is painted (exact for the usual black).
QImage shadowTile(const QColor &clearBitColor, const QColor &setBitColor)
{
    QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
    const auto pixel = [](const QColor &c) {
        return c.rgb() == QColor(Qt::white).rgb() ? qRgba(0, 0, 0, 0) : c.rgb() | 0xFF000000u;
    };
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            tile.setPixel(x, y, pixel(shadowPatternBit(x, y) ? setBitColor : clearBitColor));
    return tile;
}

// The box: (1, 1) up to the shadow, right and bottom edges exclusive.
QRect boxRect(int w, int h)
{
    return QRect(QPoint(1, 1), QPoint(w - PopupShadowSize - 1, h - PopupShadowSize - 1));
}

// The shadow along the bottom and the right; the corners beside it stay unpainted.
void paintShadow(QPainter &p, int w, int h, const QColor &textColor, const QColor &fillColor)
{
    const QBrush shadow(shadowTile(textColor, fillColor));
    p.setBrushOrigin(0, 0);
    p.fillRect(QRect(PopupShadowSize, h - PopupShadowSize, w - PopupShadowSize, PopupShadowSize), shadow);
    p.fillRect(QRect(w - PopupShadowSize, PopupShadowSize, PopupShadowSize, h - PopupShadowSize), shadow);
}

} // namespace

TRopInst::TRopInst()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint)
    , Timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("RopInst"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &QWidget::close);
}

TRopInst::~TRopInst()
{
    if (m_loop)
        m_loop->quit();
}

QColor TRopInst::textColor() const
{
    return FontColor.isValid() ? FontColor : palette().color(QPalette::WindowText);
}

void TRopInst::PlacePopup()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const QSize text = measurePopupText(QFontMetrics(font()), Lines);
    setGeometry(placePopup(screenRect, text, xPos, yPos));
    setMask(paintedRegion());
    // The text is painted: a screen reader reads it from here.
    setAccessibleName(QStringLiteral("快捷键"));
    setAccessibleDescription(Lines.join(u'\n'));
    if (TimeClose > 0) {
        Timer1->setInterval(TimeClose);
        Timer1->start();
    }
}

QRegion TRopInst::paintedRegion() const
{
    const int w = width();
    const int h = height();
    // Drawn exactly as paintEvent draws, then cut where nothing was painted.
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.fillRect(boxRect(w, h), Qt::black);
        paintShadow(p, w, h, textColor(), Fill.color());
    }
    return QRegion(QBitmap::fromImage(image.createAlphaMask()));
}

void TRopInst::execModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
    activateWindow();
    setFocus(Qt::PopupFocusReason);
    if (!isVisible())
        return;
    QEventLoop loop;
    m_loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_loop = nullptr;
}

void TRopInst::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    QPainter p(this);

    // A 2-pixel black frame around the fill.
    const QRect box = boxRect(w, h);
    p.fillRect(box, Qt::black);
    p.fillRect(box.adjusted(2, 2, -2, -2), Fill);

    // The lines, one font line height each, never wrapped; '&' underlines the next letter.
    const QRect textRect(QPoint(6, 6), QPoint(w - 22, h - 22));
    p.save();
    p.setClipRect(textRect);
    p.setPen(textColor());
    p.setFont(font());
    const int lineHeight = QFontMetrics(font()).lineSpacing();
    for (int i = 0; i < Lines.size(); ++i) {
        const QRect lineRect(textRect.left(), textRect.top() + i * lineHeight, textRect.width(), lineHeight);
        p.drawText(lineRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic, Lines.at(i));
    }
    p.restore();

    paintShadow(p, w, h, textColor(), Fill.color());
}

void TRopInst::keyPressEvent(QKeyEvent *)
{
    close();
}

void TRopInst::mousePressEvent(QMouseEvent *)
{
    close();
}

void TRopInst::closeEvent(QCloseEvent *e)
{
    Timer1->stop();
    Lines.clear();
    Fill = QBrush();
    e->accept();
    if (m_loop)
        m_loop->quit();
}

} // namespace sqda
