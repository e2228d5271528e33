#include "ReportPrinting.h"

#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>

namespace sqda::report {

QString noPrinterMessage()
{
    return QStringLiteral("没有安装打印机，不能打印!");
}

PrinterProvider defaultPrinterProvider()
{
    return []() -> std::unique_ptr<QPrinter> {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull())
            return nullptr;
        return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    };
}

Status printReport(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    QPrinter &printer, const std::function<bool(int, int)> &progress)
{
    const PageSetup &setup = report.layout().page;
    if (const Status ok = setup.validate(); !ok)
        return ok;
    const QPageSize paper(QSizeF(setup.paperWidth / 10.0, setup.paperHeight / 10.0), QPageSize::Millimeter);
    printer.setFullPage(true);
    printer.setPageLayout(
        QPageLayout(paper, setup.orientation == Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(0, 0, 0, 0)));
    printer.setDocName(QStringLiteral("商圈档案查询"));

    ReportPainter pages(report, source, variables);
    QPainter painter;
    if (!painter.begin(&printer))
        return Error { QStringLiteral("打印机不能开始打印。") };
    const double scale = pages.unitsToDevice(printer);
    for (int i = 0; i < report.pageCount(); ++i) {
        if (i > 0 && !printer.newPage()) {
            printer.abort();
            return Error { QStringLiteral("打印机不能换页。") };
        }
        painter.resetTransform();
        painter.scale(scale, scale);
        pages.paintPage(painter, i);
        if (progress && !progress(i + 1, report.pageCount())) {
            printer.abort();
            painter.end();
            return Error { QStringLiteral("打印已取消。") };
        }
    }
    if (!painter.end())
        return Error { QStringLiteral("打印没有完成。") };
    return {};
}

bool printWithProgress(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const PrinterProvider &provider, QWidget *owner)
{
    std::unique_ptr<QPrinter> printer = provider ? provider() : nullptr;
    if (!printer) {
        QMessageBox::information(owner, QStringLiteral("提示"), noPrinterMessage());
        return false;
    }
    // The window shows only for a job that takes a while; the event loop runs
    // between pages so it paints and its cancel button answers.
    QProgressDialog progress(QStringLiteral("正在打印…"), QStringLiteral("取消"), 0, report.pageCount(), owner);
    progress.setWindowTitle(QStringLiteral("打印"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    const Status printed = printReport(report, source, variables, *printer, [&](int done, int) {
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
