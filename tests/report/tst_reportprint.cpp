// Printing without a dialog: with no printer installed the user gets a clear
// message and nothing else fails; painted on a QPrinter set to PDF output, every
// page (or the printer's page range) comes out on the layout's paper with its rows,
// its text extractable as printed.
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "report/ReportPrinter.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace sqda;
using namespace sqda::report;
using namespace Qt::StringLiterals;

namespace {

void fillAreas(ClientDataSet &ds, int count)
{
    ds.createDataSet({ { u"f_sqbm"_s, FieldType::String, 12, {} }, { u"f_sqmc"_s, FieldType::String, 40, {} } });
    for (int i = 0; i < count; ++i) {
        ds.append();
        ds.field(0)->setValue(u"SQ%1"_s.arg(i, 3, 10, QLatin1Char('0')));
        ds.field(1)->setValue(u"名称%1"_s.arg(i));
        ds.post();
    }
}

std::shared_ptr<const PreparedReport> prepareListing(const ClientDataSet &ds, Orientation orientation)
{
    GridDescription g;
    for (int i = 0; i < 2; ++i) {
        GridColumn c;
        c.field = i;
        c.title = i == 0 ? u"商圈编码"_s : u"商圈名称"_s;
        c.width = 120;
        g.columns.push_back(c);
    }
    PageSetup page = defaultListingPage();
    page.orientation = orientation;
    auto layout = buildGridReport(g, {}, page, fontTextMeasure(96));
    if (!layout)
        return {};
    auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), ds.recordCount());
    return report ? std::make_shared<const PreparedReport>(std::move(report).value()) : nullptr;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestReportPrint : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ensureLibraryInitialized(); }
    void noPrinterIsAClearMessage();
    void printsOnAPrinter_data();
    void printsOnAPrinter();
};

void TestReportPrint::noPrinterIsAClearMessage()
{
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        QSKIP("a printer is installed here; this test must not print on it");
    ClientDataSet ds;
    fillAreas(ds, 3);
    const DataSetReportSource source(ds);
    const auto report = prepareListing(ds, Orientation::Portrait);
    QVERIFY(report);

    const auto printer = printerFor(report->layout().page);
    QVERIFY(!printer.ok());
    QCOMPARE(printer.error(), u"没有安装打印机。"_s);
    const Status printed = printReportOnDefaultPrinter(*report, source, ReportVariables());
    QCOMPARE(printed.error(), u"没有安装打印机。"_s);
    // A page setup naming a printer: still the same sentence when there is none.
    PageSetup named = report->layout().page;
    named.printerName = u"HP LaserJet"_s;
    QCOMPARE(printerFor(named).error(), u"没有安装打印机。"_s);
}

void TestReportPrint::printsOnAPrinter_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<int>("cancelAfter"); // 0: never
    QTest::addColumn<QString>("error");
    QTest::newRow("every page") << 0 << 0 << false << 0 << QString();
    QTest::newRow("landscape") << 0 << 0 << true << 0 << QString();
    QTest::newRow("pages 2 to 3") << 2 << 3 << false << 0 << QString();
    QTest::newRow("range past the end") << 9 << 12 << false << 0 << u"没有要打印的页：报表共3页。"_s;
    QTest::newRow("cancelled") << 0 << 0 << false << 1 << u"打印已取消。"_s;
}

void TestReportPrint::printsOnAPrinter()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, landscape);
    QFETCH(int, cancelAfter);
    QFETCH(QString, error);
    ClientDataSet ds;
    fillAreas(ds, landscape ? 60 : 100);
    const DataSetReportSource source(ds);
    const auto report = prepareListing(ds, landscape ? Orientation::Landscape : Orientation::Portrait);
    QVERIFY(report);
    QCOMPARE(report->pageCount(), 3);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"printed.pdf"_s);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    if (from > 0) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(from, to);
    }
    int asked = 0;
    const Status printed = printReport(*report, source, ReportVariables(), printer, [&](int, int) {
        ++asked;
        return cancelAfter == 0 || asked < cancelAfter;
    });
    if (!error.isEmpty()) {
        QCOMPARE(printed.error(), error);
        return;
    }
    QVERIFY2(printed.ok(), qPrintable(printed.error()));
    if (const QString keep = qEnvironmentVariable("SQDA_KEEP_REPORT_PDF"); !keep.isEmpty())
        QFile::copy(pdf, QDir(keep).filePath(u"printed-%1.pdf"_s.arg(QString::fromLatin1(QTest::currentDataTag()))));

    const int first = from > 0 ? from : 1, last = from > 0 ? to : report->pageCount();
    QCOMPARE(asked, last - first + 1);
    const QString info = run(u"pdfinfo"_s, { pdf });
    QVERIFY2(info.contains(QRegularExpression(u"Pages:\\s+%1\\n"_s.arg(last - first + 1))), qPrintable(info));
    const QString size
        = landscape ? u"84[12](\\.\\d+)? x 595(\\.\\d+)? pts"_s : u"595(\\.\\d+)? x 84[12](\\.\\d+)? pts"_s;
    QVERIFY2(info.contains(QRegularExpression(size)), qPrintable(info));

    // Each printed page holds its rows; the pages outside the range do not print.
    const QStringList pages = run(u"pdftotext"_s, { u"-layout"_s, pdf, u"-"_s }).split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), last - first + 1);
    for (int p = first; p <= last; ++p) {
        const PreparedPage &page = report->page(p - 1);
        const QString &text = pages[p - first];
        for (quint32 r = page.firstRow; r < page.firstRow + page.rowCount; ++r)
            QVERIFY2(text.contains(u"SQ%1"_s.arg(r, 3, 10, QLatin1Char('0'))), qPrintable(text));
        // The text maps are repaired after printing: 页 and 日 read back as
        // themselves, not as the radicals of the same glyph.
        QVERIFY2(text.contains(u"第%1页/共%2页"_s.arg(p).arg(report->pageCount())), qPrintable(text));
        QVERIFY2(text.contains(u"打印日期"_s), qPrintable(text));
    }
    if (from > 0)
        QVERIFY(!pages.join(QString()).contains(u"SQ000"_s));
}

QTEST_MAIN(TestReportPrint)
#include "tst_reportprint.moc"
