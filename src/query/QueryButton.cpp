#include "QueryButton.h"

#include "ui/ToolIcons.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace sqda {

QueryButton::QueryButton(const QString &caption, QWidget *parent)
    : FlatButton(caption, parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void QueryButton::keyPressEvent(QKeyEvent *e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
        click();
        return;
    }
    FlatButton::keyPressEvent(e);
}

void QueryButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect r = rect();
    const QColor window = palette().color(QPalette::Window);
    if (isDown())
        p.fillRect(r.adjusted(1, 1, -1, -1), m_downColor.isValid() ? m_downColor : window.darker(110));
    else if (underMouse() && isEnabled())
        p.fillRect(r.adjusted(1, 1, -1, -1), window.lighter(104));

    p.setPen(lineColor().isValid() ? lineColor() : palette().color(QPalette::Dark));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    const QRect content = isDown() ? r.translated(1, 1) : r;
    if (!icon().isNull()) {
        const QSize size = iconSize().boundedTo(r.size() - QSize(4, 4));
        const QRect target(QPoint(0, 0), size);
        icon().paint(&p, QRect(content.center() - target.center(), size), Qt::AlignCenter,
            isEnabled() ? QIcon::Normal : QIcon::Disabled);
    }
    if (!text().isEmpty()) {
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        p.drawText(content, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

namespace {

void paintDropChange(QPainter &p, int)
{
    p.setPen(QPen(QColor(200, 0, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

} // namespace

QIcon dropChangeIcon()
{
    // A plain function, so the picture is painted once per size and kept.
    return paintToolIcons(1, paintDropChange).first();
}

} // namespace sqda
