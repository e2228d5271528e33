#include "ReportPrinting.h"

#include "host/LibraryWindows.h"

#include <QPrinter>
#include <QProgressDialog>

namespace sqda::report {

PrinterProvider defaultPrinterProvider()
{
    return [](const PageSetup &page) { return printerFor(page); };
}

bool printWithProgress(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const PrinterProvider &provider, QWidget *owner, int progressDelayMs)
{
    auto printer
        = provider ? provider(report.layout().page) : Result<std::unique_ptr<QPrinter>>(Error { noPrinterMessage() });
    if (!printer || !*printer) {
        showMessageBox(
            owner, QMessageBox::Information, QStringLiteral("提示"), printer ? noPrinterMessage() : printer.error());
        return false;
    }
    // The window shows only for a job that takes a while; the event loop runs
    // between pages so it paints and its cancel button answers. An owner
    // destroyed meanwhile takes the window along, which stops the job before
    // the next page is read.
    ProgressWindow progress(
        owner, QStringLiteral("打印"), QStringLiteral("正在打印…"), report.pageCount(), progressDelayMs);
    const Status printed
        = printReport(report, source, variables, **printer, [&](int done, int) { return progress.step(done); });
    if (progress.gone())
        return false; // nothing of the owner is touched
    const bool cancelled = progress.cancelled();
    progress.finish();
    if (!printed) {
        if (!cancelled)
            showMessageBox(owner, QMessageBox::Warning, QStringLiteral("提示"), printed.error());
        return false;
    }
    return true;
}

} // namespace sqda::report
