#include "QueryToolImages.h"

#include "ui/ToolIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace sqda {

namespace {

constexpr int Count = 8;

const QColor Ink(0, 96, 160);
const QColor Green(0, 128, 0);

void magnifier(QPainter &p, int x, int y, int d)
{
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(x, y, d, d);
    p.drawLine(x + d - 1, y + d - 1, x + d + 4, y + d + 4);
}

void page(QPainter &p, const QRect &r)
{
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (int y = r.top() + 3; y < r.bottom() - 1; y += 3)
        p.drawLine(r.left() + 2, y, r.right() - 2, y);
}

void draw(QPainter &p, int index)
{
    switch (index) {
    case 0: // search: a magnifying glass over a list
        page(p, QRect(1, 1, 10, 13));
        magnifier(p, 6, 5, 6);
        break;
    case 1: // options: columns to choose
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(Qt::white);
        p.drawRect(1, 2, 13, 12);
        p.fillRect(2, 3, 12, 3, Green);
        p.setPen(QPen(Qt::darkGray, 1));
        p.drawLine(5, 3, 5, 13);
        p.drawLine(10, 3, 10, 13);
        p.setPen(QPen(Ink, 2));
        p.drawLine(11, 9, 12, 11);
        p.drawLine(12, 11, 15, 6);
        break;
    case 2: // preview: a page under a magnifying glass
        page(p, QRect(1, 1, 11, 14));
        magnifier(p, 5, 5, 6);
        break;
    case 3: // print: a printer with a sheet
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(Qt::white);
        p.drawRect(4, 1, 8, 6);
        p.setBrush(QColor(170, 170, 170));
        p.drawRect(1, 6, 14, 6);
        p.setBrush(Qt::white);
        p.drawRect(4, 10, 8, 5);
        p.fillRect(12, 8, 2, 1, Green);
        break;
    case 4: // exit: a door with an arrow
        paintExitIcon(p);
        break;
    case 5: // conditions: a note on the panel's yellow
        p.setPen(QPen(Qt::darkGray, 1));
        p.setBrush(QColor(251, 254, 222));
        p.drawRect(1, 1, 13, 14);
        p.setPen(QPen(Green, 1));
        p.drawLine(3, 4, 11, 4);
        p.drawLine(5, 7, 12, 7);
        p.drawLine(5, 10, 10, 10);
        p.drawLine(3, 13, 11, 13);
        break;
    case 6: // assistant: a question mark
        paintAssistantIcon(p);
        break;
    case 7: { // filter: a funnel
        QPainterPath funnel;
        funnel.moveTo(1, 2);
        funnel.lineTo(15, 2);
        funnel.lineTo(10, 8);
        funnel.lineTo(10, 14);
        funnel.lineTo(6, 12);
        funnel.lineTo(6, 8);
        funnel.closeSubpath();
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(120, 180, 230));
        p.drawPath(funnel);
        break;
    }
    default:
        break;
    }
}

} // namespace

QList<QIcon> makeQueryToolImages()
{
    return paintToolIcons(Count, draw);
}

} // namespace sqda
