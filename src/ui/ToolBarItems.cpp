#include "ToolBarItems.h"

#include <QFrame>
#include <QToolButton>

namespace sqda {

QToolButton *makeToolButton(
    QWidget *bar, const char *name, const QString &caption, const QIcon &icon, const QRect &geometry)
{
    auto *button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(geometry);
    return button;
}

QFrame *makeToolSeparator(QWidget *bar, const char *name, const QRect &geometry)
{
    auto *sep = new QFrame(bar);
    sep->setObjectName(QLatin1String(name));
    sep->setFrameShape(QFrame::VLine);
    sep->setFrameShadow(QFrame::Sunken);
    sep->setGeometry(geometry);
    return sep;
}

} // namespace sqda
