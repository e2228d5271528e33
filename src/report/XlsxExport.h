// The printed listing as a spreadsheet: real cells, not a picture of the pages.
//
// The sheet holds the listing's table: the column-title row, one row per printed
// record in the order and filter the report was formatted with, and the footer
// row(s). Columns are those of every page set side by side, in page-set order, each
// as wide in pixels as it prints in units (a unit is a pixel at 96 dpi). Integers and
// floating-point values are written as numbers, check-box columns as booleans, every
// other cell as the text the page prints (ObjectText), so the export and the
// printout agree. The header and page-foot texts are not part of the table.
//
// The workbook is written in libxlsxwriter's constant-memory mode: a row goes to
// disk as soon as it is complete, so memory does not grow with the listing.
#pragma once

#include "PreparedReport.h"
#include "ReportDataSource.h"
#include "ReportVariables.h"
#include "core/Result.h"

#include <functional>

namespace sqda::report {

// Writes the listing of `report` to an .xlsx file at `path`. `source` must be the
// view the report was formatted on. The file appears only when complete: a
// failure or a cancel leaves no file behind and an existing one as it was.
// `progress(done, total)` is asked every few thousand rows and at the end;
// returning false cancels, which is reported as an error. The sheet is named after
// the "Title" variable when that is a valid sheet name.
Status exportListingXlsx(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const QString &path, const std::function<bool(int, int)> &progress = {});

} // namespace sqda::report
