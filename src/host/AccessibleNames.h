// Names for assistive technology.
//
// A screen reader announces a control by its accessible name. Qt derives one
// for a button from its caption and for an edit from a label whose buddy it is;
// the screens are laid out by position, as their captions sit beside the
// controls, so most edits, lists and views would be announced without a name.
// This gives each the caption a sighted user reads next to it.
#pragma once

#include <QString>

class QWidget;

namespace sqda {

// A caption as it is read aloud: accelerator marks dropped, the spaces that
// spread a short Chinese caption ("增  加") closed up, a closing colon dropped.
QString spokenCaption(const QString &caption);

// Gives `root` and every control below it that has no accessible name yet the
// name of its caption: a button its text (or tool tip), an input control or a
// view the label that is its buddy, else the nearest label on its left in the
// same row, else the nearest label straight above it (a window's list without
// one: the window's title). A control that already
// has a name keeps it, so a screen can name a control itself.
void nameControls(QWidget *root);

} // namespace sqda
