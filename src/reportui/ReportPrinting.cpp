#include "ReportPrinting.h"

#include <QMessageBox>
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
        QMessageBox::information(owner, QStringLiteral("提示"), printer ? noPrinterMessage() : printer.error());
        return false;
    }
    // The window shows only for a job that takes a while; the event loop runs
    // between pages so it paints and its cancel button answers.
    QProgressDialog progress(QStringLiteral("正在打印…"), QStringLiteral("取消"), 0, report.pageCount(), owner);
    progress.setWindowTitle(QStringLiteral("打印"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(progressDelayMs);
    const Status printed = printReport(report, source, variables, **printer, [&](int done, int) {
        progress.setValue(done);
        return !progress.wasCanceled();
    });
    const bool cancelled = progress.wasCanceled();
    progress.reset();
    if (!printed) {
        if (!cancelled)
            QMessageBox::warning(owner, QStringLiteral("提示"), printed.error());
        return false;
    }
    return true;
}

} // namespace sqda::report
