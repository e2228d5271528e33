#include "ToolIcons.h"

#include <QPainter>
#include <QPixmap>

namespace sqda {

QList<QIcon> paintToolIcons(int count, const std::function<void(QPainter &, int)> &paint)
{
    QList<QIcon> images;
    for (int i = 0; i < count; ++i) {
        QPixmap pm(ToolIconSize, ToolIconSize);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            paint(p, i);
        }
        images << QIcon(pm);
    }
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
