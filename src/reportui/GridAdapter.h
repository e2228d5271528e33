// What a printed listing needs to know of a data grid, read from the grid as it
// stands on screen: the visible columns in the grid's column order (as the user
// arranged and chose them), their on-screen widths, fonts and alignments, the
// title and footer rows, row heights and whether column lines are drawn.
#pragma once

#include "report/GridReport.h"

#include <QFont>

namespace sqda {
class DBGridEh;
}

namespace sqda::report {

// `font` as the layout records it, sized in points at `dpi` when the font was set
// in pixels (the screens set their fonts in pixels at 96 dpi).
FontSpec fontSpecOf(const QFont &font, const QColor &color, double dpi = DefaultLogicalDpi);

// The grid's state for buildGridReport(). Hidden columns are left out; a column
// whose field the dataset lacks prints empty cells. Without an open dataset
// `hasDataSet` is false and the listing gets no cells.
GridDescription describeGrid(const DBGridEh &grid);

} // namespace sqda::report
