#include "FlatComboBox.h"

#include "SharedPalette.h"

#include <QPainter>
#include <QStyleOptionComboBox>

namespace sqda {

FlatComboBox::FlatComboBox(QWidget *parent)
    : QComboBox(parent)
{
}

void FlatComboBox::setLineColor(const QColor &color)
{
    m_lineColor = color;
    setProperty("lineColor", color);
    update();
}

void FlatComboBox::initStyleOption(QStyleOptionComboBox *option) const
{
    QComboBox::initStyleOption(option);
    option->palette = sharedPalette(option->palette);
}

void FlatComboBox::paintEvent(QPaintEvent *e)
{
    QComboBox::paintEvent(e);
    if (!m_lineColor.isValid())
        return;
    QPainter p(this);
    p.setPen(m_lineColor);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace sqda
