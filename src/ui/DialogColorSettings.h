// The dialog colours kept in section ColorOption of Kalmorapos.ini. The file is
// read on every dialog build; nothing is cached.
#pragma once

#include "DialogState.h"

#include <QString>

#include <optional>

namespace sqda {

// "backcolor" as the message dialog reads it when no file or key is there.
constexpr TColor SettingsDefaultBackColor = 15528176; // red 240, green 240, blue 236
constexpr TColor SettingsDefaultLineColor = 12349763; // red 67, green 113, blue 188

// A settings text holding a colour: a whole number (leading blanks, optional
// sign, decimal or "$"/"0x" hexadecimal digits, nothing after them) from 0 to
// 16777215. Anything else is no colour.
std::optional<TColor> parseColorValue(const QString &text);

// One colour key of ColorOption. A value that is not a colour gives
// `defaultColor`: a mistyped settings file must not keep every themed dialog
// from opening.
TColor readColorOption(const QString &key, TColor defaultColor);

// A switch key ("colorstyle", "style") is on for any value other than "0".
bool colorSwitchOn(const QString &switchKey);

// Stores "backcolor" into DialogBackColor (the message dialog, every build).
void loadDialogBackColor();
// Stores "linecolor", then "backcolor" (input and choice dialogs with their switch on).
void loadDialogColors();

} // namespace sqda
