// The report engine's Core layer: page geometry and units, report variables, the
// listing generated from a grid description, column page sets, and pagination as
// arithmetic over band heights, down to the rows a page reads from a dataset.
#include "data/ClientDataSet.h"
#include "report/GridReport.h"
#include "report/ObjectText.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportVariables.h"

#include <QTest>

#include <algorithm>
#include <limits>

using namespace sqda;
using namespace sqda::report;

namespace {

// At 254 dots per inch one unit is a tenth of a millimetre, so a paper height in
// tenths is the page height in units and the arithmetic below reads plainly.
PageSetup plainPage(int height, int top = 0, int bottom = 0)
{
    PageSetup p;
    p.logicalDpi = 254;
    p.paperWidth = 1000;
    p.paperHeight = height;
    p.leftMargin = p.rightMargin = 0;
    p.topMargin = top;
    p.bottomMargin = bottom;
    return p;
}

Band band(BandKind kind, int height, bool visible = true)
{
    Band b;
    b.kind = kind;
    b.height = height;
    b.visible = visible;
    return b;
}

// One page set with the given band heights; a negative master footer leaves it out.
LayoutPage bands(int title, int row, int columnFooter, int pageFooter, int masterFooter, bool titleVisible = true)
{
    LayoutPage lp;
    lp.bands = { band(BandKind::Title, title, titleVisible), band(BandKind::MasterData, row),
        band(BandKind::ColumnFooter, columnFooter), band(BandKind::PageFooter, pageFooter) };
    if (masterFooter >= 0)
        lp.bands.push_back(band(BandKind::MasterFooter, masterFooter));
    return lp;
}

// Pages as "T0+5|5+5|10+2M": title flag, first row + row count, master footer flag.
QString describe(const PreparedReport &r)
{
    QStringList pages;
    for (int i = 0; i < r.pageCount(); ++i) {
        const PreparedPage &p = r.page(i);
        QString s = (p.flags & PageHasTitle) ? QStringLiteral("T") : QString();
        if (p.pageSet)
            s += QStringLiteral("S%1:").arg(p.pageSet);
        s += QStringLiteral("%1+%2").arg(p.firstRow).arg(p.rowCount);
        if (p.flags & PageHasMasterFooter)
            s += u'M';
        pages << s;
    }
    return pages.join(u'|');
}

QString describe(const std::vector<std::vector<ColumnPlacement>> &sets)
{
    QStringList out;
    for (const auto &set : sets) {
        QStringList cols;
        for (const ColumnPlacement &c : set)
            cols << QStringLiteral("%1@%2").arg(c.column).arg(c.x);
        out << cols.join(u',');
    }
    return out.join(u'|');
}

GridFooterCell footer(FooterValue value, const QString &text = {})
{
    GridFooterCell f;
    f.value = value;
    f.text = text;
    return f;
}

// The query form's listing: code, name and level, a count text in the footer row.
GridDescription listingGrid(int nameWidth = 200)
{
    GridDescription g;
    g.footerRowCount = 1;
    GridColumn code;
    code.field = 0;
    code.title = QStringLiteral("商圈编码");
    code.width = 100;
    code.footers = { footer(FooterValue::StaticText, QStringLiteral("合计:3条")) };
    GridColumn name;
    name.field = 1;
    name.title = QStringLiteral("商圈名称");
    name.width = nameWidth;
    name.font.bold = true;
    GridColumn level;
    level.field = 2;
    level.title = QStringLiteral("级别");
    level.width = 40;
    level.align = HAlign::Right;
    level.footers = { footer(FooterValue::Sum) };
    g.columns = { code, name, level };
    return g;
}

std::shared_ptr<const ReportLayout> share(Result<ReportLayout> layout)
{
    if (!layout)
        qFatal("layout failed: %s", qPrintable(layout.error()));
    return std::make_shared<const ReportLayout>(std::move(layout).value());
}

} // namespace

class TestReportLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void units_data();
    void units();
    void defaultPage();
    void badPages_data();
    void badPages();
    void headerHeight_data();
    void headerHeight();
    void variables_data();
    void variables();
    void variableTableIsLibraryWide();
    void pageSets_data();
    void pageSets();
    void pagination_data();
    void pagination();
    void pageTooSmall_data();
    void pageTooSmall();
    void placementsOnAPage();
    void listingLayout();
    void listingSkipsHiddenColumnsAndKeepsOrder();
    void wideColumnsMakeASecondPageSetWithoutTitle();
    void listingOptions();
    void listingRefusesBadPages();
    void listingPagesReadRowsInDatasetOrder();
    void objectTexts();
    void preparedReportStaysSmall();
};

void TestReportLayout::units_data()
{
    QTest::addColumn<double>("mm");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("units");
    QTest::addColumn<double>("backToMm");
    QTest::newRow("10 mm is the 38-unit margin") << 10.0 << 96.0 << 38 << 10.05;
    QTest::newRow("A4 width") << 210.0 << 96.0 << 794 << 210.08;
    QTest::newRow("A4 height") << 297.0 << 96.0 << 1123 << 297.13;
    QTest::newRow("zero") << 0.0 << 96.0 << 0 << 0.0;
    QTest::newRow("a larger logical resolution") << 10.0 << 120.0 << 47 << 9.95;
    QTest::newRow("one tenth of a millimetre at 254 dpi") << 0.1 << 254.0 << 1 << 0.1;
}

void TestReportLayout::units()
{
    QFETCH(double, mm);
    QFETCH(double, dpi);
    QFETCH(int, units);
    QFETCH(double, backToMm);
    QCOMPARE(millimetresToUnits(mm, dpi), units);
    QCOMPARE(unitsToMillimetres(units, dpi), backToMm);
    // A margin typed in millimetres survives the round trip through units.
    QCOMPARE(millimetresToUnits(unitsToMillimetres(units, dpi), dpi), units);
}

void TestReportLayout::defaultPage()
{
    PageSetup p = defaultListingPage();
    QCOMPARE(p.paperSize, 9);
    QCOMPARE(p.paperWidth, 2100);
    QCOMPARE(p.paperHeight, 2970);
    QCOMPARE(p.orientation, Orientation::Portrait);
    QCOMPARE(p.printerName, QStringLiteral("默认打印机"));
    QVERIFY(p.doublePass);
    QCOMPARE(p.pageWidth(), 794);
    QCOMPARE(p.pageHeight(), 1123);
    QCOMPARE(p.usableWidth(), 794 - 76);
    QCOMPARE(p.usableHeight(), 1123 - 76);

    p.orientation = Orientation::Landscape;
    QCOMPARE(p.pageWidth(), 1123);
    QCOMPARE(p.usableWidth(), 1123 - 76);

    p.setMarginsMillimetres(10, 20, 0, 5.3);
    QCOMPARE(p.leftMargin, 38);
    QCOMPARE(p.topMargin, 76);
    QCOMPARE(p.rightMargin, 0);
    QCOMPARE(p.bottomMargin, 20);
}

void TestReportLayout::badPages_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("no paper") << QStringLiteral("paperWidth") << 0 << QStringLiteral("不是有效的纸张");
    QTest::newRow("no resolution") << QStringLiteral("dpi") << 0 << QStringLiteral("分辨率0点/英寸无法使用");
    QTest::newRow("negative margin") << QStringLiteral("topMargin") << -1 << QStringLiteral("页边距不能是负数（左");
    QTest::newRow("no usable width") << QStringLiteral("leftMargin") << 756 << QStringLiteral("可用宽度只有0个单位");
    QTest::newRow("no usable height") << QStringLiteral("bottomMargin") << 2000
                                      << QStringLiteral("可用高度只有-915个单位");
    // Sizes whose sum in units would overflow: refused before any is added.
    QTest::newRow("paper of 200 km") << QStringLiteral("paperWidth") << 2'000'000'000
                                     << QStringLiteral("不是有效的纸张");
    QTest::newRow("huge margin") << QStringLiteral("leftMargin") << 2'147'483'647
                                 << QStringLiteral("页边距超过了32767个单位");
}

void TestReportLayout::badPages()
{
    QFETCH(QString, what);
    QFETCH(int, value);
    QFETCH(QString, message);
    PageSetup page = defaultListingPage();
    QVERIFY(page.validate().ok());
    if (what == u"paperWidth")
        page.paperWidth = value;
    else if (what == u"dpi")
        page.logicalDpi = value;
    else if (what == u"topMargin")
        page.topMargin = value;
    else if (what == u"leftMargin")
        page.leftMargin = value;
    else
        page.bottomMargin = value;
    const Status status = page.validate();
    QVERIFY(!status.ok());
    QVERIFY2(status.error().contains(message), qPrintable(status.error()));

    // Neither the generator nor the formatter works on such a page.
    const auto built = buildGridReport(listingGrid(), {}, page);
    QVERIFY(!built.ok());
    QCOMPARE(built.error(), status.error());
    auto layout = std::make_shared<ReportLayout>();
    layout->page = page;
    layout->pages = { bands(10, 10, 10, 10, 10) };
    QCOMPARE(PreparedReport::prepare(layout, 1).error(), status.error());
}

void TestReportLayout::headerHeight_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("height");
    QTest::newRow("conditions hidden") << false << 0 << 40;
    QTest::newRow("hidden panel ignores its lines") << false << 3 << 40;
    QTest::newRow("one line") << true << 1 << 46;
    QTest::newRow("three lines") << true << 3 << 82;
    QTest::newRow("shown but empty") << true << 0 << 28;
}

void TestReportLayout::headerHeight()
{
    QFETCH(bool, shown);
    QFETCH(int, lines);
    QFETCH(int, height);
    QCOMPARE(listingHeaderHeight(shown, lines), height);
}

void TestReportLayout::variables_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("title") << QStringLiteral("[Title]") << QStringLiteral("商圈档案查询");
    QTest::newRow("page line") << QStringLiteral("页    数:第[Page#]页/共[TotalPages#]页")
                               << QStringLiteral("页    数:第3页/共12页");
    QTest::newRow("date and time") << QStringLiteral("打印日期:[Date]  打印时间:[Time]")
                                   << QStringLiteral("打印日期:20261210  打印时间:07:30:15");
    QTest::newRow("empty variable prints nothing") << QStringLiteral("<[Condi]>") << QStringLiteral("<>");
    QTest::newRow("missing variable prints nothing") << QStringLiteral("a[Nobody]b") << QStringLiteral("ab");
    QTest::newRow("names ignore case") << QStringLiteral("[oper]/[PAGE#]") << QStringLiteral("张三/3");
    QTest::newRow("unclosed bracket kept") << QStringLiteral("x[Title") << QStringLiteral("x[Title");
    QTest::newRow("stray brackets kept") << QStringLiteral("a]b[[Oper]") << QStringLiteral("a]b[张三");
    QTest::newRow("value is not expanded again") << QStringLiteral("[Loop]") << QStringLiteral("[Title]");
    QTest::newRow("multi-line value") << QStringLiteral("[Lines]") << QStringLiteral("一\n二");
    QTest::newRow("plain text") << QStringLiteral("no variables") << QStringLiteral("no variables");
}

void TestReportLayout::variables()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    ReportVariables vars;
    vars.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
    vars.set(QStringLiteral("Date"), QStringLiteral("20261210"));
    vars.set(QStringLiteral("Time"), QStringLiteral("07:30:15"));
    vars.set(QStringLiteral("Oper"), QStringLiteral("张三"));
    vars.set(QStringLiteral("Condi"), QString());
    vars.set(QStringLiteral("Loop"), QStringLiteral("[Title]"));
    vars.set(QStringLiteral("Lines"), QStringLiteral("一\n二"));
    QCOMPARE(expandVariables(text, vars, { 3, 12 }), expanded);
    if (text == expanded && !text.contains(u']'))
        QVERIFY(!hasVariables(text));
    if (text != expanded)
        QVERIFY(hasVariables(text));
}

void TestReportLayout::variableTableIsLibraryWide()
{
    ReportVariables::global().set(QStringLiteral("Oper"), QStringLiteral("李四"));
    QCOMPARE(ReportVariables::global().value(u"OPER"), QStringLiteral("李四"));
    QCOMPARE(expandVariables(u"[Oper]", ReportVariables::global(), {}), QStringLiteral("李四"));
    ReportVariables::global().set(QStringLiteral("oper"), QStringLiteral("王五"));
    QCOMPARE(ReportVariables::global().value(u"Oper"), QStringLiteral("王五"));
    ReportVariables::global().clear();
    QVERIFY(!ReportVariables::global().contains(u"Oper"));
}

void TestReportLayout::pageSets_data()
{
    QTest::addColumn<QList<int>>("widths");
    QTest::addColumn<int>("usable");
    QTest::addColumn<QString>("sets");
    QTest::newRow("all fit") << QList<int> { 99, 199, 39 } << 718 << QStringLiteral("0@0,1@100,2@300");
    // 100 + 200 + 418 = 718: the last right edge lands exactly on W and stays.
    QTest::newRow("exact fit") << QList<int> { 99, 199, 417 } << 718 << QStringLiteral("0@0,1@100,2@300");
    QTest::newRow("one unit over") << QList<int> { 99, 199, 418 } << 718 << QStringLiteral("0@0,1@100|2@0");
    QTest::newRow("followers move too, even narrow ones")
        << QList<int> { 400, 400, 10 } << 718 << QStringLiteral("0@0|1@0,2@401");
    QTest::newRow("a set's first column stays however wide")
        << QList<int> { 900, 900 } << 718 << QStringLiteral("0@0|1@0");
    QTest::newRow("three sets") << QList<int> { 300, 300, 300, 300, 300 } << 718
                                << QStringLiteral("0@0,1@301|2@0,3@301|4@0");
    QTest::newRow("no columns") << QList<int> {} << 718 << QString();
}

void TestReportLayout::pageSets()
{
    QFETCH(QList<int>, widths);
    QFETCH(int, usable);
    QFETCH(QString, sets);
    const auto placed = placeColumns(std::vector<int>(widths.begin(), widths.end()), usable);
    QCOMPARE(describe(placed), sets);
    for (const auto &set : placed)
        for (const ColumnPlacement &c : set)
            QCOMPARE(c.width, widths[c.column] + 1);
}

void TestReportLayout::pagination_data()
{
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("title");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("masterFooter"); // -1: none
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("pages");

    // Page 1 room for rows: 1000 - 100 (title) - 50 (closing: 30 + 20) = 850 = 8.5 rows
    // of 100; later pages 950 = 9.5 rows.
    QTest::newRow("empty dataset: title and footer row")
        << 1000 << 0 << 0 << 100 << 100 << 50 << 0 << QStringLiteral("T0+0M");
    QTest::newRow("empty dataset without footer row")
        << 1000 << 0 << 0 << 100 << 100 << -1 << 0 << QStringLiteral("T0+0");
    QTest::newRow("one row") << 1000 << 0 << 0 << 100 << 100 << 50 << 1 << QStringLiteral("T0+1M");
    QTest::newRow("footer row fits beside 8 rows")
        << 1000 << 0 << 0 << 100 << 100 << 50 << 8 << QStringLiteral("T0+8M");
    QTest::newRow("footer row forced to a new page")
        << 1000 << 0 << 0 << 100 << 100 << 51 << 8 << QStringLiteral("T0+8|8+0M");
    QTest::newRow("one row over page 1") << 1000 << 0 << 0 << 100 << 100 << 50 << 9 << QStringLiteral("T0+8|8+1M");
    QTest::newRow("margins count") << 1020 << 10 << 10 << 100 << 100 << 50 << 9 << QStringLiteral("T0+8|8+1M");
    // Exactly full pages: title 95 + 9 rows of 95 + 50 closing = 1000, then 10 rows + 50.
    QTest::newRow("exact fit, no footer row") << 1000 << 0 << 0 << 95 << 95 << -1 << 19 << QStringLiteral("T0+9|9+10");
    QTest::newRow("exact fit, one row over")
        << 1000 << 0 << 0 << 95 << 95 << -1 << 20 << QStringLiteral("T0+9|9+10|19+1");
    QTest::newRow("exact fit, footer row next page")
        << 1000 << 0 << 0 << 95 << 95 << 10 << 19 << QStringLiteral("T0+9|9+10|19+0M");
    QTest::newRow("several pages") << 1000 << 0 << 0 << 100 << 100 << 50 << 30 << QStringLiteral("T0+8|8+9|17+9|26+4M");
    QTest::newRow("title leaves no room for a row")
        << 1000 << 0 << 0 << 900 << 100 << 50 << 2 << QStringLiteral("T0+0|0+2M");
    QTest::newRow("zero-high rows all on page 1")
        << 1000 << 0 << 0 << 100 << 0 << 50 << 100000 << QStringLiteral("T0+100000M");
}

void TestReportLayout::pagination()
{
    QFETCH(int, pageHeight);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, title);
    QFETCH(int, row);
    QFETCH(int, masterFooter);
    QFETCH(int, rows);
    QFETCH(QString, pages);

    auto layout = std::make_shared<ReportLayout>();
    layout->page = plainPage(pageHeight, top, bottom);
    layout->pages = { bands(title, row, 30, 20, masterFooter) };
    auto report = PreparedReport::prepare(layout, rows);
    QVERIFY2(report.ok(), qPrintable(report.error()));
    QCOMPARE(describe(*report), pages);

    // Every row printed once, in order, and every page within the margins.
    int next = 0;
    for (int i = 0; i < report->pageCount(); ++i) {
        QCOMPARE(int(report->page(i).firstRow), next);
        next += int(report->page(i).rowCount);
        const auto placed = report->placements(i);
        QCOMPARE(placed.back().kind, BandKind::PageFooter);
        QCOMPARE(placed.back().y + 20, pageHeight - bottom);
        const auto &cf = placed[placed.size() - 2];
        QCOMPARE(cf.kind, BandKind::ColumnFooter);
        QVERIFY(cf.y + 30 <= placed.back().y);
    }
    QCOMPARE(next, rows);
}

void TestReportLayout::pageTooSmall_data()
{
    QTest::addColumn<int>("title");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("masterFooter");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("names");
    // Closing bands are 50; the page is 1000.
    QTest::newRow("row") << 100 << 951 << 10 << 1 << QStringLiteral("一行数据");
    QTest::newRow("title") << 951 << 10 << 10 << 1 << QStringLiteral("标题栏");
    QTest::newRow("footer row") << 100 << 10 << 951 << 0 << QStringLiteral("主项注脚");
    const int huge = std::numeric_limits<int>::max();
    QTest::newRow("huge row") << 100 << huge << 10 << 1 << QStringLiteral("一行数据");
    QTest::newRow("huge title") << huge << 10 << 10 << 1 << QStringLiteral("标题栏");
}

void TestReportLayout::pageTooSmall()
{
    QFETCH(int, title);
    QFETCH(int, row);
    QFETCH(int, masterFooter);
    QFETCH(int, rows);
    QFETCH(QString, names);
    auto layout = std::make_shared<ReportLayout>();
    layout->page = plainPage(1000);
    layout->pages = { bands(title, row, 30, 20, masterFooter) };
    const auto report = PreparedReport::prepare(layout, rows);
    QVERIFY(!report.ok());
    QVERIFY2(report.error().contains(names), qPrintable(report.error()));

    // A row too high only matters when there are rows.
    if (row > 900)
        QVERIFY(PreparedReport::prepare(layout, 0).ok());
    QVERIFY(!PreparedReport::prepare(layout, -1).ok());
    QVERIFY(!PreparedReport::prepare(nullptr, 1).ok());
    // A page set index is 16 bits in a prepared page: more sets are refused, not wrapped.
    layout->pages.assign(65536, bands(10, 10, 30, 20, 10));
    QVERIFY(!PreparedReport::prepare(layout, 0).ok());
    layout->pages.resize(65535);
    QVERIFY(PreparedReport::prepare(layout, 0).ok());
}

void TestReportLayout::placementsOnAPage()
{
    auto layout = std::make_shared<ReportLayout>();
    layout->page = plainPage(1020, 10, 10);
    layout->pages = { bands(100, 100, 30, 20, 50) };
    const auto report = PreparedReport::prepare(layout, 9);
    QVERIFY(report.ok());
    QCOMPARE(report->pageCount(), 2);

    const auto first = report->placements(0);
    QCOMPARE(first.size(), size_t(1 + 8 + 2));
    QCOMPARE(first[0].kind, BandKind::Title);
    QCOMPARE(first[0].y, 10);
    QCOMPARE(first[1].kind, BandKind::MasterData);
    QCOMPARE(first[1].y, 110);
    QCOMPARE(first[1].row, 0);
    QCOMPARE(first[8].y, 810);
    QCOMPARE(first[8].row, 7);
    QCOMPARE(first[9].kind, BandKind::ColumnFooter);
    QCOMPARE(first[9].y, 910); // directly under the rows
    QCOMPARE(first[10].kind, BandKind::PageFooter);
    QCOMPARE(first[10].y, 990); // at the foot, above the bottom margin

    // Last page: the row, the footer row after it, then the closing bands.
    const auto last = report->placements(1);
    QCOMPARE(last.size(), size_t(1 + 1 + 2));
    QCOMPARE(last[0].kind, BandKind::MasterData);
    QCOMPARE(last[0].y, 10);
    QCOMPARE(last[0].row, 8);
    QCOMPARE(last[1].kind, BandKind::MasterFooter);
    QCOMPARE(last[1].y, 110);
    QCOMPARE(last[2].kind, BandKind::ColumnFooter);
    QCOMPARE(last[2].y, 160);
    QCOMPARE(report->numbers(1).page, 2);
    QCOMPARE(report->numbers(1).totalPages, 2);
}

void TestReportLayout::listingLayout()
{
    const GridDescription grid = listingGrid();
    const auto built = buildGridReport(grid, {}, defaultListingPage());
    QVERIFY2(built.ok(), qPrintable(built.error()));
    const ReportLayout &layout = *built;
    QCOMPARE(layout.pages.size(), size_t(1));
    const LayoutPage &lp = layout.pages[0];

    // Title block: header text 40 high across W, column titles 2 units below it.
    const Band *title = lp.band(BandKind::Title);
    QVERIFY(title);
    QCOMPARE(title->height, 40 + 2 + 22);
    QCOMPARE(title->objects.size(), size_t(1 + 3));
    const ReportObject &header = title->objects[0];
    QCOMPARE(header.kind, ObjectKind::RichText);
    QCOMPARE(header.rect, QRect(38, 0, 718, 40));
    QVERIFY(header.expandVariables);
    QCOMPARE(header.rich.plainText(), QStringLiteral("[Title]\n[Condi] \n    "));
    QCOMPARE(header.rich.paragraphs[0].align, HAlign::Center);
    QCOMPARE(layout.fonts[size_t(header.rich.paragraphs[0].runs[0].font)].family, QStringLiteral("黑体"));
    QCOMPARE(layout.fonts[size_t(header.rich.paragraphs[0].runs[0].font)].pointSize, 22.0);
    const QList<QRect> titleRects { title->objects[1].rect, title->objects[2].rect, title->objects[3].rect };
    QCOMPARE(titleRects, (QList<QRect> { { 38, 42, 101, 22 }, { 139, 42, 201, 22 }, { 340, 42, 41, 22 } }));
    QCOMPARE(title->objects[1].text, QStringLiteral("商圈编码"));
    QVERIFY(!title->objects[1].expandVariables);
    QCOMPARE(title->objects[1].vAlign, VAlign::Center);
    QVERIFY(title->objects[1].wordWrap);
    QCOMPARE(title->objects[1].frames, quint8(FrameAll));

    // Data cells name their dataset column; no text is copied into the layout.
    const Band *data = lp.band(BandKind::MasterData);
    QVERIFY(data);
    QCOMPARE(data->height, 22);
    QVERIFY(data->stretch);
    QCOMPARE(data->objects.size(), size_t(3));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(data->objects[size_t(i)].kind, ObjectKind::DataField);
        QCOMPARE(data->objects[size_t(i)].column, i);
        QVERIFY(data->objects[size_t(i)].text.isEmpty());
        QCOMPARE(data->objects[size_t(i)].rect.height(), 22);
        QVERIFY(data->objects[size_t(i)].wordWrap);
    }
    QVERIFY(layout.fonts[size_t(data->objects[1].font)].bold);
    QCOMPARE(data->objects[2].hAlign, HAlign::Right);

    // The footer row: the count text in the first column, a sum, an empty cell.
    const Band *footer = lp.band(BandKind::MasterFooter);
    QVERIFY(footer);
    QCOMPARE(footer->height, 22);
    QCOMPARE(footer->objects[0].text, QStringLiteral("合计:3条"));
    QCOMPARE(footer->objects[1].kind, ObjectKind::Text);
    QVERIFY(footer->objects[1].text.isEmpty());
    QCOMPARE(footer->objects[2].kind, ObjectKind::Aggregate);
    QCOMPARE(footer->objects[2].aggregate, AggregateKind::Sum);
    QCOMPARE(footer->objects[2].column, 2);
    // A grid with a footer row has plain single frames.
    for (const ReportObject &o : footer->objects)
        QCOMPARE(o.thickFrames, quint8(FrameNone));

    // The page foot: date, operator and page lines, natural height + 2.
    const Band *cf = lp.band(BandKind::ColumnFooter);
    QVERIFY(cf);
    QCOMPARE(cf->height, 3 * 15 + 2);
    // Its text starts 2 units down, clear of the rows' bottom border.
    QCOMPARE(cf->objects[0].rect.top(), 2);
    QCOMPARE(cf->objects[0].rect.height(), 3 * 15);
    QCOMPARE(cf->objects[0].rich.plainText(),
        QStringLiteral("打印日期:[Date]  打印时间:[Time]") + QString(21, u' ') + u'\n'
            + QStringLiteral("操 作 员:[Oper]  \n页    数:第[Page#]页/共[TotalPages#]页 "));
    const Band *pf = lp.band(BandKind::PageFooter);
    QVERIFY(pf);
    QCOMPARE(pf->height, 3 + 15);
    // Equal fonts are filed once.
    QCOMPARE(int(std::count(layout.fonts.begin(), layout.fonts.end(), layout.fonts[0])), 1);
}

void TestReportLayout::listingSkipsHiddenColumnsAndKeepsOrder()
{
    GridDescription grid = listingGrid();
    std::swap(grid.columns[0], grid.columns[2]); // the user moved "级别" to the front
    grid.columns[1].visible = false; // and hid the name
    const auto built = buildGridReport(grid, {}, defaultListingPage());
    QVERIFY(built.ok());
    const Band *title = built->pages[0].band(BandKind::Title);
    QCOMPARE(title->objects.size(), size_t(1 + 2));
    QCOMPARE(title->objects[1].text, QStringLiteral("级别"));
    QCOMPARE(title->objects[1].rect.x(), 38);
    QCOMPARE(title->objects[2].text, QStringLiteral("商圈编码"));
    QCOMPARE(title->objects[2].rect.x(), 38 + 41);
    const Band *data = built->pages[0].band(BandKind::MasterData);
    QCOMPARE(data->objects.size(), size_t(2));
    QCOMPARE(data->objects[0].column, 2);
    QCOMPARE(data->objects[1].column, 0);
}

void TestReportLayout::wideColumnsMakeASecondPageSetWithoutTitle()
{
    // 101 + 601 = 702 fits in 718; the level column (41 more) does not.
    const auto layout = share(buildGridReport(listingGrid(600), {}, defaultListingPage()));
    QCOMPARE(layout->pages.size(), size_t(2));
    QVERIFY(layout->pages[0].band(BandKind::Title));
    QVERIFY(!layout->pages[1].band(BandKind::Title));
    const Band *data2 = layout->pages[1].band(BandKind::MasterData);
    QCOMPARE(data2->objects.size(), size_t(1));
    QCOMPARE(data2->objects[0].column, 2);
    QCOMPARE(data2->objects[0].rect.x(), 38);
    QCOMPARE(layout->pages[1].band(BandKind::MasterFooter)->objects[0].kind, ObjectKind::Aggregate);

    // 100 rows: page 1 holds 41 below the title block, later pages 44 (A4 at 96 dpi:
    // 1085 - 38 - 65 closing = 982 units). The second set prints every row again.
    const auto report = PreparedReport::prepare(layout, 100);
    QVERIFY(report.ok());
    QCOMPARE(describe(*report), QStringLiteral("T0+41|41+44|85+15M|S1:0+44|S1:44+44|S1:88+12M"));
    QCOMPARE(report->numbers(5).page, 6);
    QCOMPARE(report->numbers(0).totalPages, 6);
}

void TestReportLayout::listingOptions()
{
    GridDescription grid = listingGrid();
    grid.footerRowCount = 0;
    GridReportOptions options;
    options.pageHeaderHeight = 0; // natural height + 2
    options.columnFooterHeight = 60;
    options.masterDataHeight = 30;
    int measured = 0;
    const TextMeasure measure = [&](const StyledText &text, int width) {
        ++measured;
        Q_UNUSED(width);
        return int(text.size()) * 20;
    };
    const auto built = buildGridReport(grid, options, defaultListingPage(), measure);
    QVERIFY(built.ok());
    const LayoutPage &lp = built->pages[0];
    QVERIFY(measured > 0);
    QCOMPARE(lp.band(BandKind::Title)->objects[0].rect.height(), 3 * 20 + 2);
    QCOMPARE(lp.band(BandKind::Title)->height, 62 + 2 + 22);
    QCOMPARE(lp.bandHeight(BandKind::ColumnFooter), 60);
    QCOMPARE(lp.bandHeight(BandKind::PageFooter), 3 + 20);
    QCOMPARE(lp.bandHeight(BandKind::MasterData), 30);
    QVERIFY(!lp.band(BandKind::MasterFooter));
    // No footer row: the table's outer border is drawn thick.
    const Band *data = lp.band(BandKind::MasterData);
    QCOMPARE(data->objects.front().thickFrames, quint8(FrameLeft));
    QCOMPARE(data->objects.back().thickFrames, quint8(FrameRight));
    QCOMPARE(data->objects[1].thickFrames, quint8(FrameNone));
    QVERIFY(lp.band(BandKind::Title)->objects[2].thickFrames & FrameTop);

    // Without column lines nothing is framed.
    grid.columnLines = false;
    const auto bare = buildGridReport(grid, options, defaultListingPage(), measure);
    for (const ReportObject &o : bare->pages[0].band(BandKind::MasterData)->objects)
        QCOMPARE(o.frames | o.thickFrames, 0);

    // Data shown as zero-high invisible cells; titles hidden; check boxes and vertical titles.
    grid = listingGrid();
    grid.showTitles = false;
    grid.columns[2].checkBox = true;
    options = {};
    options.showMasterData = true;
    const auto hidden = buildGridReport(grid, options, defaultListingPage());
    const Band *hiddenData = hidden->pages[0].band(BandKind::MasterData);
    QCOMPARE(hiddenData->height, 0);
    QVERIFY(!hiddenData->objects[0].visible);
    QCOMPARE(hiddenData->objects[2].kind, ObjectKind::CheckBox);
    QCOMPARE(hidden->pages[0].band(BandKind::Title)->height, 40);
    QCOMPARE(hidden->pages[0].band(BandKind::Title)->objects.size(), size_t(1));

    grid = listingGrid();
    grid.columns[0].titleVertical = true;
    const auto vertical = buildGridReport(grid, {}, defaultListingPage());
    QVERIFY(vertical->pages[0].band(BandKind::Title)->objects[1].vertical);

    // No dataset: the texts, but no cells.
    grid.hasDataSet = false;
    const auto noData = buildGridReport(grid, {}, defaultListingPage());
    QVERIFY(noData.ok());
    QCOMPARE(noData->pages.size(), size_t(1));
    QCOMPARE(noData->pages[0].band(BandKind::Title)->objects.size(), size_t(1));
    QVERIFY(noData->pages[0].band(BandKind::MasterData)->objects.empty());
    const Band *noFooterCells = noData->pages[0].band(BandKind::MasterFooter);
    QVERIFY(!noFooterCells || noFooterCells->objects.empty());
}

void TestReportLayout::listingRefusesBadPages()
{
    PageSetup page = defaultListingPage();
    page.leftMargin = 400;
    page.rightMargin = 394;
    auto built = buildGridReport(listingGrid(), {}, page);
    QVERIFY(!built.ok());
    QVERIFY(built.error().contains(u"可用宽度"));

    page = defaultListingPage();
    page.topMargin = 600;
    page.bottomMargin = 600;
    QVERIFY(!buildGridReport(listingGrid(), {}, page).ok());

    GridDescription grid = listingGrid();
    grid.columns[1].width = -5;
    built = buildGridReport(grid, {}, defaultListingPage());
    QVERIFY(!built.ok());
    QVERIFY(built.error().contains(u"商圈名称"));

    // Sizes no grid has are refused, not summed into wrapped numbers.
    const auto refused = [](const GridDescription &g, const GridReportOptions &o, const TextMeasure &m = {}) {
        return !buildGridReport(g, o, defaultListingPage(), m).ok();
    };
    grid = listingGrid();
    grid.columns[2].width = std::numeric_limits<int>::max();
    QVERIFY(refused(grid, {}));
    grid = listingGrid();
    grid.defaultRowHeight = -1;
    QVERIFY(refused(grid, {}));
    grid = listingGrid();
    grid.titleRowHeight = std::numeric_limits<int>::max();
    QVERIFY(refused(grid, {}));
    grid = listingGrid();
    grid.footerRowCount = 100000;
    QVERIFY(refused(grid, {}));
    GridReportOptions options;
    options.masterDataHeight = std::numeric_limits<int>::max();
    QVERIFY(refused(listingGrid(), options));
    options = {};
    options.pageHeaderHeight = -3;
    QVERIFY(refused(listingGrid(), options));
    options = {};
    options.pageHeaderHeight = 0;
    QVERIFY(refused(listingGrid(), options, [](const StyledText &, int) { return std::numeric_limits<int>::max(); }));
    QVERIFY(refused(listingGrid(), options, [](const StyledText &, int) { return -100; }));

    // A page with room for the title but not for a row: a clear error, not a loop.
    page = defaultListingPage();
    page.topMargin = 990;
    page.bottomMargin = 38;
    const auto layout = share(buildGridReport(listingGrid(), {}, page));
    const auto report = PreparedReport::prepare(layout, 10);
    QVERIFY(!report.ok());
    QVERIFY2(report.error().contains(u"标题栏"), qPrintable(report.error()));
}

// 100 areas "000".."099", level i % 4 + 1, viewed by code descending without level 4:
// 75 rows, "098" first.
static void fillAreas(ClientDataSet &ds)
{
    ds.createDataSet({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} } });
    for (int i = 0; i < 100; ++i) {
        ds.append();
        ds.fieldByName(u"f_sqbm")->setValue(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')));
        ds.fieldByName(u"f_sqmc")->setValue(QStringLiteral("名称%1").arg(i));
        ds.fieldByName(u"f_jb")->setValue(i % 4 + 1);
        ds.post();
    }
    ds.addIndex(QStringLiteral("desc"), QStringLiteral("f_sqbm"), {}, QStringLiteral("f_sqbm"));
    ds.setIndexName(QStringLiteral("desc"));
    ds.setFilter(QStringLiteral("f_jb <> 4"));
    ds.setFiltered(true);
}

void TestReportLayout::listingPagesReadRowsInDatasetOrder()
{
    ClientDataSet ds;
    fillAreas(ds);
    ds.setCurrentIndex(10);

    const DataSetReportSource source(ds);
    QCOMPARE(source.rowCount(), 75);
    const auto layout = share(buildGridReport(listingGrid(), {}, defaultListingPage()));
    const auto report = PreparedReport::prepare(layout, source.rowCount());
    QVERIFY(report.ok());
    QCOMPARE(report->pageCount(), 2);

    // Page 2's first data row is the 42nd record of the sorted, filtered view.
    const auto placed = report->placements(1);
    QCOMPARE(placed.front().kind, BandKind::MasterData);
    QCOMPARE(placed.front().row, 41);
    const ReportObject &codeCell = layout->pages[0].band(BandKind::MasterData)->objects[0];
    QCOMPARE(source.displayText(placed.front().row, codeCell.column), QStringLiteral("044"));
    QCOMPARE(source.displayText(0, 1), QStringLiteral("名称98"));
    QCOMPARE(ds.currentIndex(), 10); // the cursor did not move
    QVERIFY(source.displayText(75, 0).isEmpty());
    QVERIFY(source.displayText(0, 7).isEmpty());

    // The foot of page 2 reads "page 2 of 2"; sums cover every printed row.
    ReportVariables vars;
    const ReportObject &foot = layout->pages[0].band(BandKind::ColumnFooter)->objects[0];
    QVERIFY(expandVariables(foot.rich.plainText(), vars, report->numbers(1)).endsWith(u"第2页/共2页 "));
    QCOMPARE(columnSum(source, 2), 25.0 * (1 + 2 + 3));
    QVERIFY(isTicked(source.value(0, 2)));
    QVERIFY(!isTicked(QVariant()));
}

void TestReportLayout::objectTexts()
{
    ClientDataSet ds;
    fillAreas(ds);
    GridDescription grid = listingGrid();
    grid.columns[0].title = QStringLiteral("[备注]"); // a caption is never a variable
    grid.columns[1].footers = { footer(FooterValue::Count) };
    grid.columns[2].checkBox = true;
    const auto layout = share(buildGridReport(grid, {}, defaultListingPage()));
    const LayoutPage &lp = layout->pages[0];
    const Band &title = *lp.band(BandKind::Title);
    const Band &data = *lp.band(BandKind::MasterData);
    const Band &foot = *lp.band(BandKind::MasterFooter);

    const DataSetReportSource source(ds);
    ReportVariables vars;
    vars.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
    vars.set(QStringLiteral("Condi"), QStringLiteral("商圈编码 大于 '010'"));
    vars.set(QStringLiteral("备注"), QStringLiteral("wrong"));
    const ObjectText texts(source, vars);
    const PageNumbers numbers { 2, 3 };

    QCOMPARE(texts.text(title.objects[0], -1, numbers), QStringLiteral("商圈档案查询\n商圈编码 大于 '010' \n    "));
    QCOMPARE(texts.text(title.objects[1], -1, numbers), QStringLiteral("[备注]"));
    QCOMPARE(texts.text(data.objects[0], 1, numbers), QStringLiteral("097"));
    QCOMPARE(texts.text(data.objects[1], 1, numbers), QStringLiteral("名称97"));
    QVERIFY(texts.text(data.objects[2], 1, numbers).isEmpty());
    QVERIFY(texts.ticked(data.objects[2], 1));
    QVERIFY(!texts.ticked(data.objects[1], 1));
    QCOMPARE(texts.text(foot.objects[0], -1, numbers), QStringLiteral("合计:3条"));
    QCOMPARE(texts.text(foot.objects[1], -1, numbers), QStringLiteral("75"));
    QCOMPARE(texts.text(foot.objects[2], -1, numbers), QStringLiteral("150"));
    const ReportObject &pageLine = lp.band(BandKind::ColumnFooter)->objects[0];
    QVERIFY(texts.text(pageLine, -1, numbers).endsWith(u"页    数:第2页/共3页 "));

    // A sum over a column of reals keeps its fraction.
    ClientDataSet reals;
    reals.createDataSet({ { QStringLiteral("f_mj"), FieldType::Double, 0, {} } });
    for (const double v : { 1.25, 2.5 }) {
        reals.append();
        reals.fieldByName(u"f_mj")->setValue(v);
        reals.post();
    }
    reals.append(); // a null area adds nothing
    reals.post();
    ReportObject sum;
    sum.kind = ObjectKind::Aggregate;
    sum.aggregate = AggregateKind::Sum;
    sum.column = 0;
    const DataSetReportSource realSource(reals);
    QCOMPARE(ObjectText(realSource, vars).text(sum, -1, numbers), QStringLiteral("3.75"));
}

void TestReportLayout::preparedReportStaysSmall()
{
    QCOMPARE(sizeof(PreparedPage), size_t(12));
    const auto layout = share(buildGridReport(listingGrid(), {}, defaultListingPage()));
    const auto report = PreparedReport::prepare(layout, 100000);
    QVERIFY(report.ok());
    QCOMPARE(report->pageCount(), 1 + (100000 - 41 + 43) / 44);
    QVERIFY(report->memoryBytes() <= qsizetype(report->pageCount()) * 1024);
    QVERIFY(report->memoryBytes() <= qsizetype(report->pageCount()) * 16 + 256);
}

QTEST_GUILESS_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
