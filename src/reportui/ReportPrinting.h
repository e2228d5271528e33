// Printing from the preview and the form: the printer comes from a provider (the
// default printer, or the printer the page names), every page goes to it without
// any dialog, with a progress window that can cancel a long job.
#pragma once

#include "report/ReportPrinter.h"

#include <functional>
#include <memory>

class QWidget;

namespace sqda::report {

// Where printing goes for a page; fails with a sentence for the user (no printer
// installed: noPrinterMessage()). Tests and hosts may put their own printer (a
// PDF file printer) in place of the system's.
using PrinterProvider = std::function<Result<std::unique_ptr<QPrinter>>(const PageSetup &page)>;
PrinterProvider defaultPrinterProvider(); // printerFor()

// Prints every page on the provider's printer with a cancellable progress window
// over `owner` for long jobs. No printer, or a printer error, is a message box;
// the caller carries on either way. The answer says whether every page went out;
// false too when the owner was destroyed during the job, which then stopped
// before reading another page: the caller touches nothing of the owner then.
bool printWithProgress(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const PrinterProvider &provider, QWidget *owner, int progressDelayMs = 500);

} // namespace sqda::report
