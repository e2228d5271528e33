// The printed listing of a data grid, generated from the grid's state each time.
//
// GridDescription is what the listing needs to know of a grid (visible columns in
// screen order, widths, fonts, alignment, row heights, footer rows); the grid
// widget fills it, tests build it by hand. buildGridReport() turns it into a
// banded ReportLayout:
//
//   title band      the header text (height given, 40 units without conditions),
//                   then 2 units lower the column-title row
//   master data     one cell per printed column, fixed row height
//   column footer   the footer text (print date, time, operator, "page n of m")
//   page footer     3 units plus its (empty) text
//   master footer   the grid's footer row(s)
//
// Columns are printed one unit wider than on screen, side by side from x = 0; a
// column whose right edge would pass the usable width starts a further page set.
#pragma once

#include "ReportLayout.h"
#include "core/Result.h"

#include <functional>
#include <vector>

namespace sqda::report {

// Styled texts name their fonts directly; the builder files them in the layout.
struct StyledRun
{
    QString text;
    FontSpec font;
};
struct StyledParagraph
{
    HAlign align = HAlign::Left;
    std::vector<StyledRun> runs;
};
using StyledText = std::vector<StyledParagraph>;

// The listing's own texts, black.
StyledText listingHeaderText(); // [Title] / [Condi] / four spaces
StyledText listingColumnFooterText(); // date and time / operator / page n of m
StyledText listingPageFooterText(); // one empty paragraph

// The header height a query form sets before each run: 40 units without the
// condition panel, 18 units a condition line + 28 with it.
int listingHeaderHeight(bool conditionsShown, int conditionLines);

// How a footer cell gets its value.
enum class FooterValue : quint8 { None, StaticText, Average, FieldValue, Sum, Count };

struct GridFooterCell
{
    FooterValue value = FooterValue::None;
    QString text; // what the grid shows for None / StaticText / Average / FieldValue
    bool hasOwnFont = false; // false: the column's font and alignment
    FontSpec font;
    HAlign align = HAlign::Left;
};

struct GridColumn
{
    int field = -1; // dataset column shown; -1: none (prints empty cells)
    QString title; // the title caption (for field columns, the display label)
    int width = 64; // on-screen width in units
    bool visible = true;
    FontSpec font;
    HAlign align = HAlign::Left;
    FontSpec titleFont;
    HAlign titleAlign = HAlign::Left;
    bool titleVertical = false;
    bool checkBox = false;
    std::vector<GridFooterCell> footers; // one per footer row; missing ones are empty
};

struct GridDescription
{
    std::vector<GridColumn> columns; // in the grid's column order
    bool hasDataSet = true; // bound to an open dataset
    bool showTitles = true;
    bool columnLines = true;
    int titleRowHeight = 18; // on screen
    int defaultRowHeight = 18; // on screen
    int footerRowCount = 0;
};

struct GridReportOptions
{
    bool stretch = true;
    bool wordWrap = true;
    bool gridLines = true;
    bool doubleFrame = true;
    bool showMasterData = false; // on: data cells invisible and zero high
    int masterDataHeight = -1; // positive: replaces the grid's row height + 4
    int pageHeaderHeight = 40; // 0: the header text's natural height + 2
    StyledText pageHeader = listingHeaderText();
    int columnFooterHeight = 0; // 0: natural height + 2
    StyledText columnFooter = listingColumnFooterText();
    StyledText pageFooter = listingPageFooterText();
};

// Height in units of a styled text set in `width` units; the paint layer measures
// with the real fonts, estimateTextHeight() does without them.
using TextMeasure = std::function<int(const StyledText &text, int width)>;
// One line per paragraph, each as high as 1.2 × its largest font at the layout's
// resolution, rounded up.
int estimateTextHeight(const StyledText &text, double dpi = DefaultLogicalDpi);

// One printed column on a page set.
struct ColumnPlacement
{
    int column; // index into the widths given
    int x; // from the usable area's left edge
    int width; // printed width: on-screen width + 1
};

// Places columns of the given on-screen widths side by side; before placing any
// column but a page set's first, when x + width + 1 > usableWidth that column and
// all after it move to a new page set with x back at 0.
std::vector<std::vector<ColumnPlacement>> placeColumns(const std::vector<int> &widths, int usableWidth);

// Generates the listing's layout on `page`. Fails with a message for a page that
// PageSetup::validate() refuses, or sizes no grid has (a width or height outside
// 0…32767 units, more than 255 footer rows).
Result<ReportLayout> buildGridReport(const GridDescription &grid, const GridReportOptions &options,
    const PageSetup &page, const TextMeasure &measure = {});

} // namespace sqda::report
