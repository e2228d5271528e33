#include "ToolImages.h"

#include "ui/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QTransform>

namespace sqda {

namespace {

void arrow(QPainter &p, bool up)
{
    QPainterPath path;
    path.moveTo(8, 2);
    path.lineTo(14, 9);
    path.lineTo(10, 9);
    path.lineTo(10, 14);
    path.lineTo(6, 14);
    path.lineTo(6, 9);
    path.lineTo(2, 9);
    path.closeSubpath();
    if (!up) // the down arrow is the up arrow mirrored top to bottom
        path = QTransform(1, 0, 0, -1, 0, ToolIconSize).map(path);
    p.fillPath(path, QColor(0, 96, 160));
}

void draw(QPainter &p, int index)
{
    const QColor green(0, 128, 0);
    switch (index) {
    case 0: // expand: a plus in a box
    case 1: // collapse: a minus in a box
        p.setPen(QPen(Qt::darkGray, 1));
        p.drawRect(2, 2, 11, 11);
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(5, 8, 11, 8);
        if (index == 0)
            p.drawLine(8, 5, 8, 11);
        break;
    case 2:
        arrow(p, true);
        break;
    case 3:
        arrow(p, false);
        break;
    case 4: // add
        p.setPen(QPen(green, 3));
        p.drawLine(3, 8, 13, 8);
        p.drawLine(8, 3, 8, 13);
        break;
    case 5: // delete
        p.setPen(QPen(QColor(192, 0, 0), 3));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    case 6: // save: a disk
        p.fillRect(2, 2, 12, 12, QColor(40, 60, 140));
        p.fillRect(4, 2, 8, 5, Qt::white);
        p.fillRect(5, 10, 6, 4, QColor(200, 200, 200));
        break;
    case 7: // refresh: a circular arrow
        p.setPen(QPen(green, 2));
        p.drawArc(3, 3, 10, 10, 60 * 16, 280 * 16);
        p.setBrush(green);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygon({ QPoint(10, 1), QPoint(14, 4), QPoint(9, 6) }));
        break;
    case 10: // exit: a door with an arrow
        paintExitIcon(p);
        break;
    case 14: // locate: a magnifying glass
        p.setPen(QPen(Qt::black, 2));
        p.drawEllipse(2, 2, 8, 8);
        p.drawLine(9, 9, 14, 14);
        break;
    case 15: // assistant: a question mark
        paintAssistantIcon(p);
        break;
    default:
        break; // unused slots stay blank
    }
}

} // namespace

QList<QIcon> makeToolImages()
{
    return paintToolIcons(16, draw);
}

} // namespace sqda
