#include "MessageLayout.h"

#include <QFontMetrics>

#include <algorithm>

namespace sqda {

namespace {
constexpr int IconSize = 32;
}

MessageLayout layoutMessage(const MessageLayoutInput &in)
{
    const DialogUnits &du = in.units;
    MessageLayout l;
    l.horzMargin = du.h(8);
    l.vertMargin = du.v(8);
    l.horzSpacing = du.h(10);
    l.vertSpacing = du.v(10);
    // All buttons of a dialog share one width: 50 units, or the widest caption present.
    l.buttonWidth = std::max(du.h(50), in.widestCaption);
    l.buttonHeight = du.v(14);
    l.buttonSpacing = du.h(4);

    if (in.hasIcon)
        l.iconText = QSize(in.text.width() + IconSize + l.horzSpacing, std::max(in.text.height(), IconSize));
    else
        l.iconText = in.text;

    const int n = std::max(in.buttonCount, 0);
    l.buttonGroupWidth = n > 0 ? n * l.buttonWidth + (n - 1) * l.buttonSpacing : 0;

    l.client = QSize(std::max(l.iconText.width(), l.buttonGroupWidth) + 2 * l.horzMargin,
        l.iconText.height() + l.buttonHeight + l.vertSpacing + 2 * l.vertMargin);

    if (in.hasIcon)
        l.icon = QRect(l.horzMargin, l.vertMargin, IconSize, IconSize);

    int messageLeft = l.iconText.width() - in.text.width() + l.horzMargin;
    if (in.rightToLeft)
        messageLeft = l.client.width() - messageLeft - in.text.width();
    l.message = QRect(messageLeft, l.vertMargin, in.text.width(), in.text.height());

    int x = (l.client.width() - l.buttonGroupWidth) / 2;
    const int y = l.iconText.height() + l.vertMargin + l.vertSpacing;
    for (int i = 0; i < n; ++i) {
        l.buttons << QRect(x, y, l.buttonWidth, l.buttonHeight);
        x += l.buttonWidth + l.buttonSpacing;
    }
    return l;
}

QSize measureMessageText(const QFontMetrics &fm, const QString &text, int screenWidth)
{
    const QRect box(0, 0, screenWidth / 2, 0);
    return fm.boundingRect(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs, text).size();
}

QPoint centredOnScreen(const QRect &screen, const QSize &outer)
{
    return QPoint(screen.left() + screen.width() / 2 - outer.width() / 2,
        screen.top() + screen.height() / 2 - outer.height() / 2);
}

} // namespace sqda
