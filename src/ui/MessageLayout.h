// Where everything of a message dialog goes: pure arithmetic on dialog units,
// measured sizes and the screen size, kept apart from the widgets.
#pragma once

#include "DialogUnits.h"

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

class QFontMetrics;

namespace sqda {

struct MessageLayoutInput
{
    DialogUnits units;
    QSize text; // the message measured word-wrapped in half the screen width
    bool hasIcon = false;
    int buttonCount = 0;
    int widestCaption = 0; // largest caption width + 8 among the dialog's buttons
    bool rightToLeft = false;
};

struct MessageLayout
{
    int horzMargin = 0;
    int vertMargin = 0;
    int horzSpacing = 0;
    int vertSpacing = 0;
    int buttonWidth = 0;
    int buttonHeight = 0;
    int buttonSpacing = 0;
    QSize iconText; // icon and text together
    int buttonGroupWidth = 0;
    QSize client;
    QRect icon; // empty without an icon
    QRect message;
    QList<QRect> buttons; // in bit order
};

MessageLayout layoutMessage(const MessageLayoutInput &in);

// The message's size in `fm`: word-wrapped and tabs expanded in a box half the
// screen wide. A word longer than the box makes it wider.
QSize measureMessageText(const QFontMetrics &fm, const QString &text, int screenWidth);

// Top-left of a window of `outer` size centred on a screen of `screen` size.
QPoint centredOnScreen(const QRect &screen, const QSize &outer);

} // namespace sqda
