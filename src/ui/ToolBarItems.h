// The controls both screens put on their tool bars, made and laid out alike.
#pragma once

#include <QIcon>
#include <QRect>
#include <QString>

class QFrame;
class QToolButton;
class QWidget;

namespace sqda {

// A button with its caption under a 16-pixel icon, flat until hovered, taking
// no focus (the tool bar never does); a child of the bar.
QToolButton *makeToolButton(
    QWidget *bar, const char *name, const QString &caption, const QIcon &icon, const QRect &geometry);
// A sunken vertical line between groups of buttons; a child of the bar.
QFrame *makeToolSeparator(QWidget *bar, const char *name, const QRect &geometry);

} // namespace sqda
