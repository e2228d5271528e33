// Printing a prepared report on a printer, without any dialog.
//
// The listing goes to the printer its page setup names: "默认打印机" (or no name)
// is the system's default printer, as the query form's listing always asks. With
// no printer installed the error says so in a sentence for the user; the preview
// shows it in a message box and carries on.
#pragma once

#include "PreparedReport.h"
#include "ReportDataSource.h"
#include "ReportVariables.h"
#include "core/Result.h"

#include <QString>

#include <functional>
#include <memory>

class QPrinter;

namespace sqda::report {

// The message when no printer is installed.
QString noPrinterMessage();

// A printer for `page`: the default printer for the default name, else the
// installed printer of that name. Fails with noPrinterMessage() when there is no
// printer at all, and names a printer that is not installed.
Result<std::unique_ptr<QPrinter>> printerFor(const PageSetup &page);

// Paints the pages of `report` on `printer` as they are: the layout's paper and
// orientation, the whole sheet as the page (the layout holds its own margins),
// units scaled to the printer's resolution. Prints the printer's page range when it
// has one (fromPage()/toPage(), from 1), else every page. `progress(done, total)` is
// asked after each page; returning false aborts the job, reported as an error.
Status printReport(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    QPrinter &printer, const std::function<bool(int, int)> &progress = {});

// printerFor(the layout's page), then printReport: what PrintListing and the
// preview's print button do.
Status printReportOnDefaultPrinter(const PreparedReport &report, const ReportDataSource &source,
    const ReportVariables &variables, const std::function<bool(int, int)> &progress = {});

} // namespace sqda::report
