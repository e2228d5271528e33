#include "ReportPrinter.h"

#include "ReportPainter.h"

#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace sqda::report {

namespace {
const QString DefaultPrinterName = QStringLiteral("默认打印机");
}

QString noPrinterMessage()
{
    return QStringLiteral("没有安装打印机。");
}

Result<std::unique_ptr<QPrinter>> printerFor(const PageSetup &page)
{
    QPrinterInfo info;
    if (page.printerName.isEmpty() || page.printerName == DefaultPrinterName) {
        info = QPrinterInfo::defaultPrinter();
        // Some systems have printers but none marked as the default: the first
        // one serves, as the print dialog would offer it first.
        if (info.isNull() && !QPrinterInfo::availablePrinterNames().isEmpty())
            info = QPrinterInfo::printerInfo(QPrinterInfo::availablePrinterNames().constFirst());
        if (info.isNull())
            return Error { noPrinterMessage() };
    } else {
        info = QPrinterInfo::printerInfo(page.printerName);
        if (info.isNull())
            return Error { QPrinterInfo::availablePrinterNames().isEmpty()
                    ? noPrinterMessage()
                    : QStringLiteral("没有找到打印机“%1”。").arg(page.printerName) };
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

Status printReport(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    QPrinter &printer, const std::function<bool(int, int)> &progress)
{
    const PageSetup &setup = report.layout().page;
    if (const Status ok = setup.validate(); !ok)
        return ok;
    const QString name
        = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : printer.printerName();
    const auto failed = [&] { return Error { QStringLiteral("打印机“%1”无法打印。").arg(name) }; };

    // The layout places everything from the paper's corner, margins included, so
    // the printer's page is the whole sheet.
    printer.setFullPage(true);
    const QPageSize paper(QSizeF(setup.paperWidth / 10.0, setup.paperHeight / 10.0), QPageSize::Millimeter);
    printer.setPageLayout(
        QPageLayout(paper, setup.orientation == Orientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
            QMarginsF(0, 0, 0, 0)));
    if (printer.docName().isEmpty())
        printer.setDocName(variables.value(u"Title").isEmpty() ? QStringLiteral("商圈") : variables.value(u"Title"));

    int first = 1, last = report.pageCount();
    if (printer.fromPage() > 0) {
        first = std::max(first, printer.fromPage());
        last = std::min(last, printer.toPage() > 0 ? printer.toPage() : last);
    }
    if (first > last)
        return Error { QStringLiteral("没有要打印的页：报表共%1页。").arg(report.pageCount()) };

    ReportPainter pages(report, source, variables);
    QPainter painter;
    if (!painter.begin(&printer))
        return failed();
    const double scale = pages.unitsToDevice(printer);
    for (int i = first - 1; i < last; ++i) {
        if (i > first - 1 && !printer.newPage()) {
            painter.end();
            return failed();
        }
        painter.resetTransform();
        painter.scale(scale, scale);
        pages.paintPage(painter, i);
        if (progress && !progress(i - first + 2, last - first + 1)) {
            printer.abort();
            painter.end();
            return Error { QStringLiteral("打印已取消。") };
        }
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return failed();
    // Printed to a PDF file, the text maps need the same repair as an exported PDF,
    // or 日 and 页 would read back as radicals; the printer has closed the file.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        QFile file(printer.outputFileName());
        if (!repairReportPdfTextMaps(file, report.layout()))
            return failed();
    }
    return {};
}

Status printReportOnDefaultPrinter(const PreparedReport &report, const ReportDataSource &source,
    const ReportVariables &variables, const std::function<bool(int, int)> &progress)
{
    auto printer = printerFor(report.layout().page);
    if (!printer)
        return Error { printer.error() };
    return printReport(report, source, variables, **printer, progress);
}

} // namespace sqda::report
