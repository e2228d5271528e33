// Printing a prepared report on a printer, without any dialog.
#pragma once

#include "core/Result.h"
#include "report/ReportPainter.h"

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace sqda::report {

// The message shown when there is no printer to print on; the caller carries on.
QString noPrinterMessage();

// Where printing goes: the system's default printer, or null when none is
// installed. Tests and hosts may put their own (a PDF file printer) in its place.
using PrinterProvider = std::function<std::unique_ptr<QPrinter>()>;
PrinterProvider defaultPrinterProvider();

// Prints every page of `report` on `printer` at the layout's paper and
// orientation, the layout's margins in the layout (the printer's own margins
// off). `progress(done, total)` is asked after each page; false cancels the job.
Status printReport(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    QPrinter &printer, const std::function<bool(int, int)> &progress = {});

// The same with a cancellable progress window over `owner` for long jobs, and
// the no-printer message when `provider` gives no printer. Errors are shown in a
// message box; the answer says whether every page went to the printer.
bool printWithProgress(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const PrinterProvider &provider, QWidget *owner);

} // namespace sqda::report
