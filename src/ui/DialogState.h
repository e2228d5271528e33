// The dialog colours and the measured button caption widths that every themed
// dialog of the library shares, from library load to unload.
#pragma once

#include <QColor>

#include <array>

namespace sqda {

// A colour as the settings file stores it: red in the low byte, then green,
// then blue (00BBGGRR).
using TColor = quint32;

QColor colorFromBgr(TColor color);

constexpr TColor DefaultDialogBackColor = 14614267; // red 251, green 254, blue 222
constexpr TColor DefaultDialogLineColor = 32768; // red 0, green 128, blue 0
constexpr int DialogButtonCount = 11;

struct DialogState
{
    TColor DialogBackColor = DefaultDialogBackColor; // window background of the dialogs
    TColor DialogLineColor = DefaultDialogLineColor; // border of flat buttons, edit and list box
    // Caption width plus 8 pixels per button ordinal; 0 means not yet measured.
    // Measured once per button for the life of the library.
    std::array<int, DialogButtonCount> ButtonCaptionWidths {};
};

DialogState &dialogState();

// Back to the values of a freshly loaded library.
void resetDialogStateForTests();

} // namespace sqda
