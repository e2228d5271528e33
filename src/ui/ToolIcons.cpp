#include "ToolIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

namespace sqda {

namespace {

// QFont::key() writes every attribute of the font out as text, too slow for
// each paint of each button; the application's font seldom changes. What the
// key was made from is kept as plain values, not as a QFont: a static goes
// after the application, and no font may outlive it.
const QString &applicationFontKey()
{
    struct Seen
    {
        QString family, styleName;
        QStringList families;
        qreal pointSize = -2, letterSpacing = 0, wordSpacing = 0;
        int pixelSize = -2, weight = -1, style = -1, stretch = -1, hinting = -1, strategy = -1, capitals = -1;
        bool underline = false, overline = false, strikeOut = false, kerning = false;
        QString key;
    };
    static Seen seen;
    const QFont f = QGuiApplication::font();
    const auto same = [&f](const Seen &s) {
        return s.family == f.family() && s.styleName == f.styleName() && s.families == f.families()
            && s.pointSize == f.pointSizeF() && s.pixelSize == f.pixelSize() && s.weight == int(f.weight())
            && s.style == int(f.style()) && s.stretch == f.stretch() && s.hinting == int(f.hintingPreference())
            && s.strategy == int(f.styleStrategy()) && s.capitals == int(f.capitalization())
            && s.letterSpacing == f.letterSpacing() && s.wordSpacing == f.wordSpacing() && s.underline == f.underline()
            && s.overline == f.overline() && s.strikeOut == f.strikeOut() && s.kerning == f.kerning();
    };
    if (seen.key.isEmpty() || !same(seen)) {
        seen = Seen { f.family(), f.styleName(), f.families(), f.pointSizeF(), f.letterSpacing(), f.wordSpacing(),
            f.pixelSize(), int(f.weight()), int(f.style()), f.stretch(), int(f.hintingPreference()),
            int(f.styleStrategy()), int(f.capitalization()), f.underline(), f.overline(), f.strikeOut(), f.kerning(),
            f.key() };
    }
    return seen.key;
}

// An icon painted for the size and pixel density it is shown at, so a screen at
// twice the density gets twice the pixels, not a 16-pixel image scaled up.
//
// A picture is the same every time it is drawn at one size, density and mode:
// images painted by a plain function are kept in the application's pixmap
// cache, so every screen that shows them after the first one draws a copy
// instead of painting the picture again on each paint event.
class PaintedIconEngine : public QIconEngine
{
public:
    using Paint = void (*)(QPainter &, int);

    PaintedIconEngine(std::function<void(QPainter &, int)> paint, int index)
        : m_paint(std::move(paint))
        , m_index(index)
    {
        // Only a plain function paints the same picture for the same index:
        // a functor may carry state of its own.
        if (const Paint *f = m_paint.target<Paint>())
            m_cacheStem = QStringLiteral("sqda-tool-icon:%1:%2:").arg(quintptr(*f), 0, 16).arg(index);
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size() * dpr, mode, state, dpr));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels: QIcon asks for the logical size times `scale`.
    QPixmap scaledPixmap(const QSize &pixels, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        if (pixels.isEmpty())
            return {};
        QString key;
        if (!m_cacheStem.isEmpty()) {
            // The disabled and selected looks follow the application's palette,
            // and a painter's text the application's font. Numbers are written
            // as integers: the key is built on every paint of every button.
            const QLatin1Char colon(':');
            key.reserve(m_cacheStem.size() + 64);
            key += m_cacheStem;
            key += QString::number(pixels.width()) + QLatin1Char('x') + QString::number(pixels.height()) + colon
                + QString::number(int(mode)) + colon + QString::number(qRound64(scale * 1000)) + colon
                + QString::number(mode == QIcon::Normal ? 0 : QGuiApplication::palette().cacheKey()) + colon;
            key += applicationFontKey();
            QPixmap cached;
            if (QPixmapCache::find(key, &cached))
                return cached;
        }
        QPixmap pm(pixels);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(qreal(pixels.width()) / ToolIconSize, qreal(pixels.height()) / ToolIconSize);
            m_paint(p, m_index);
        }
        if (mode != QIcon::Normal) {
            // Disabled and selected looks as the style makes them from the plain image.
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(mode, pm, &option);
        }
        pm.setDevicePixelRatio(scale);
        if (!key.isEmpty())
            QPixmapCache::insert(key, pm);
        return pm;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }

    QIconEngine *clone() const override { return new PaintedIconEngine(m_paint, m_index); }

private:
    std::function<void(QPainter &, int)> m_paint;
    int m_index;
    QString m_cacheStem; // empty: painted every time
};

} // namespace

QList<QIcon> paintToolIcons(int count, const std::function<void(QPainter &, int)> &paint)
{
    QList<QIcon> images;
    for (int i = 0; i < count; ++i)
        images << QIcon(new PaintedIconEngine(paint, i));
    return images;
}

void paintExitIcon(QPainter &p)
{
    p.setPen(QPen(QColor(120, 70, 20), 1));
    p.setBrush(QColor(200, 150, 80));
    p.drawRect(2, 1, 8, 14);
    p.setPen(QPen(QColor(192, 0, 0), 2));
    p.drawLine(7, 8, 14, 8);
    p.drawLine(11, 5, 14, 8);
    p.drawLine(11, 11, 14, 8);
}

void paintAssistantIcon(QPainter &p)
{
    const QColor ink(0, 96, 160);
    p.setPen(QPen(ink, 1));
    p.setBrush(QColor(255, 255, 200));
    p.drawEllipse(1, 1, 13, 13);
    p.setPen(ink);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(11);
    p.setFont(f);
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

} // namespace sqda
