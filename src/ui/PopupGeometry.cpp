#include "PopupGeometry.h"

#include <QFontMetrics>

#include <algorithm>

namespace sqda {

QSize measurePopupText(const QFontMetrics &fm, const QStringList &lines)
{
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, fm.boundingRect(QRect(), Qt::TextSingleLine | Qt::TextShowMnemonic, line).width());
    return QSize(width, int(lines.size()) * fm.lineSpacing());
}

QRect placePopup(const QRect &screen, const QSize &text, int xPos, int yPos)
{
    const int left = xPos != 0 ? xPos : screen.left() + (screen.width() - text.width()) / 2;
    const int top = yPos != 0 ? yPos : screen.top() + (screen.height() - text.height()) / 2;
    return QRect(left, top, text.width() + PopupExtraWidth, text.height() + PopupExtraHeight);
}

} // namespace sqda
