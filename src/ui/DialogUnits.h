// Dialog units: lengths that scale with the dialog's font. A horizontal unit is a
// quarter of the font's average letter width, a vertical unit an eighth of its
// height.
#pragma once

class QFont;

namespace sqda {

// a × b / c rounded to the nearest whole number, halves away from zero.
int mulDivRound(int a, int b, int c);

struct DialogUnits
{
    int baseWidth = 0; // width of "A".."Z" "a".."z" divided by 52, whole-number division
    int baseHeight = 0; // height of that text

    int h(int units) const { return mulDivRound(units, baseWidth, 4); }
    int v(int units) const { return mulDivRound(units, baseHeight, 8); }
};

DialogUnits MeasureDialogUnits(const QFont &font);

} // namespace sqda
