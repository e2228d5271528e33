// Fonts of a report layout as Qt fonts, and text heights measured with them.
//
// Layouts are in report units, one unit a pixel at the layout's logical resolution,
// so a point is dpi / 72 units. Fonts are resolved through Qt's family substitutions,
// which the library registers at load ("宋体" and "黑体" to the Simplified Chinese
// faces); measuring before they are registered measures the fallback faces.
#pragma once

#include "GridReport.h"

#include <QFont>

namespace sqda::report {

// `description` as a QFont in points; on a paint device of the layout's resolution a
// point comes out as dpi / 72 units.
QFont reportFont(const FontSpec &description);

// Natural heights with the real fonts, lines broken at `width` units as a painter
// breaks them: each paragraph's lines as high as their tallest run, rounded up to
// whole units.
TextMeasure fontTextMeasure(double dpi = DefaultLogicalDpi);

} // namespace sqda::report
