// The printed listing as a PDF file, read back with the poppler tools: what a
// reader sees on each page (title block, column titles, rows, the page foot with
// "第n页/共m页", the count text), where the header block ends, how a long name
// is cut, page sets for over-wide columns, and the embedded Chinese faces. Then
// what only pixels show (check boxes, vertical titles, thick outer frames) on an
// image, and the repair of the PDF text maps.
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/PdfTextMap.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace sqda;
using namespace sqda::report;
using namespace Qt::StringLiterals;

namespace {

constexpr double PointsPerUnit = 72.0 / 96.0;
const QString Title = QStringLiteral("商圈档案查询");
const QString LongName = QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸");

// `count` areas "SQ000".., named "名称n"; row 0 gets LongName when asked.
void fillAreas(ClientDataSet &ds, int count, bool longFirstName = false)
{
    ds.createDataSet({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} } });
    for (int i = 0; i < count; ++i) {
        ds.append();
        ds.fieldByName(u"f_sqbm")->setValue(QStringLiteral("SQ%1").arg(i, 3, 10, QLatin1Char('0')));
        ds.fieldByName(u"f_sqmc")->setValue(i == 0 && longFirstName ? LongName : QStringLiteral("名称%1").arg(i));
        ds.fieldByName(u"f_jb")->setValue(i % 4 + 1);
        ds.post();
    }
}

// The query form's grid: code, name, level; the count text under the code.
GridDescription areaGrid(int rows, int nameWidth)
{
    GridDescription g;
    g.footerRowCount = 1;
    GridColumn code;
    code.field = 0;
    code.title = QStringLiteral("商圈编码");
    code.width = 100;
    GridFooterCell count;
    count.value = FooterValue::StaticText;
    count.text = QStringLiteral("合计:%1条").arg(rows);
    code.footers = { count };
    GridColumn name;
    name.field = 1;
    name.title = QStringLiteral("商圈名称");
    name.width = nameWidth;
    GridColumn level;
    level.field = 2;
    level.title = QStringLiteral("级别");
    level.width = 40;
    level.align = HAlign::Right;
    g.columns = { code, name, level };
    return g;
}

struct Printed
{
    int pageCount = 0; // as formatted
    QStringList pages; // pdftotext -layout, one entry a page
    QString bbox; // pdftotext -bbox
    QString info; // pdfinfo
    QString fonts; // pdffonts
};

QString run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Prints the listing of `ds` to a PDF and reads it back; pageCount stays 0 when
// formatting or writing failed.
Printed printGrid(
    const ClientDataSet &ds, const GridDescription &grid, const QStringList &conditions, const QString &keepAs = {})
{
    Printed out;
    const DataSetReportSource source(ds);
    GridReportOptions options;
    options.pageHeaderHeight = listingHeaderHeight(!conditions.isEmpty(), int(conditions.size()));
    const auto layout = buildGridReport(grid, options, defaultListingPage(), fontTextMeasure(96));
    if (!layout) {
        qWarning("%s", qPrintable(layout.error()));
        return out;
    }
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), source.rowCount());
    if (!report) {
        qWarning("%s", qPrintable(report.error()));
        return out;
    }
    ReportVariables vars;
    vars.set(QStringLiteral("Title"), Title);
    vars.set(QStringLiteral("Condi"), conditions.join(u'\n'));
    vars.set(QStringLiteral("Date"), QStringLiteral("2026-12-10"));
    vars.set(QStringLiteral("Time"), QStringLiteral("08:15:00"));
    vars.set(QStringLiteral("Oper"), QStringLiteral("张三"));

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("listing.pdf"));
    if (const Status written = writeReportPdf(*report, source, vars, pdf); !written) {
        qWarning("%s", qPrintable(written.error()));
        return out;
    }
    if (const QString keepDir = qEnvironmentVariable("SQDA_KEEP_REPORT_PDF"); !keepDir.isEmpty() && !keepAs.isEmpty())
        QFile::copy(pdf, QDir(keepDir).filePath(keepAs));
    out.pageCount = report->pageCount();
    out.pages = run(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") })
                    .split(u'\f', Qt::SkipEmptyParts);
    out.bbox = run(QStringLiteral("pdftotext"), { QStringLiteral("-bbox"), pdf, QStringLiteral("-") });
    out.info = run(QStringLiteral("pdfinfo"), { pdf });
    out.fonts = run(QStringLiteral("pdffonts"), { pdf });
    return out;
}

Printed printListing(const ClientDataSet &ds, int nameWidth, const QStringList &conditions, const QString &keepAs = {})
{
    return printGrid(ds, areaGrid(ds.recordCount(), nameWidth), conditions, keepAs);
}

// The box of the first word `word` in pdftotext -bbox output, in points.
QRectF wordBox(const QString &bbox, const QString &word)
{
    static const QRegularExpression re(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = re.globalMatch(bbox); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(5) == word)
            return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    }
    return {};
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ensureLibraryInitialized(); }
    void multiPageListing();
    void headerBlockHeight_data();
    void headerBlockHeight();
    void longNameIsCutToOneLine();
    void overWideColumnsPrintASecondPageSet();
    void emptyDatasetPrintsTitleBlock();
    void hiddenAndReorderedColumns();
    void failedWriteKeepsTheOldFile();
    void checkBoxesVerticalTitlesAndThickFrames();
    void cellTextStaysInItsCell_data();
    void cellTextStaysInItsCell();
    void textMapRepairKeepsGlyphIds();
    void textMapRepairsPerFace_data();
    void textMapRepairsPerFace();
    void textMapRepairInWindows_data();
    void textMapRepairInWindows();
};

void TestReportPdf::multiPageListing()
{
    ClientDataSet ds;
    fillAreas(ds, 100);
    // Printed in the view's order: code descending.
    ds.addIndex(QStringLiteral("desc"), QStringLiteral("f_sqbm"), {}, QStringLiteral("f_sqbm"));
    ds.setIndexName(QStringLiteral("desc"));
    const Printed printed = printListing(ds, 200, {}, QStringLiteral("listing.pdf"));
    QVERIFY(printed.pageCount >= 3);
    QVERIFY2(printed.info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(printed.pageCount))),
        qPrintable(printed.info));
    QVERIFY2(printed.info.contains(
                 QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)"))),
        qPrintable(printed.info));
    QCOMPARE(printed.pages.size(), printed.pageCount);

    const int m = printed.pageCount;
    int lastCodeSeen = 100;
    for (int i = 0; i < m; ++i) {
        const QString &page = printed.pages[i];
        const bool first = i == 0;
        QCOMPARE(page.contains(Title), first);
        QCOMPARE(page.contains(u"商圈编码"), first);
        QCOMPARE(page.contains(u"商圈名称"), first);
        QVERIFY2(page.contains(QStringLiteral("第%1页/共%2页").arg(i + 1).arg(m)), qPrintable(page));
        QVERIFY(page.contains(u"打印日期:2026-12-10"));
        QVERIFY(page.contains(u"打印时间:08:15:00"));
        QVERIFY(page.contains(u"操 作 员:张三"));
        // Rows run on in the view's order from page to page.
        static const QRegularExpression code(QStringLiteral("SQ(\\d{3})"));
        for (auto it = code.globalMatch(page); it.hasNext();) {
            const int n = it.next().captured(1).toInt();
            QCOMPARE(n, lastCodeSeen - 1);
            lastCodeSeen = n;
        }
    }
    QCOMPARE(lastCodeSeen, 0);
    // The count text once, on the last page, after the last row.
    const QString all = printed.pages.join(u'\f');
    QCOMPARE(all.count(u"合计:100条"), 1);
    const QString &last = printed.pages.back();
    QVERIFY(last.indexOf(u"合计:100条") > last.indexOf(u"SQ000"));
    QVERIFY(last.indexOf(u"合计:100条") < last.indexOf(u"打印日期"));

    // The Simplified Chinese faces, embedded (subsets), carry the text.
    QVERIFY2(printed.fonts.contains(u"NotoSansCJKsc"), qPrintable(printed.fonts));
    QVERIFY2(printed.fonts.contains(u"NotoSerifCJKsc"), qPrintable(printed.fonts));
    for (const QString &line : printed.fonts.split(u'\n').mid(2, -1)) {
        if (line.trimmed().isEmpty())
            continue;
        QVERIFY2(line.contains(QRegularExpression(QStringLiteral("\\s+yes\\s+(yes|no)\\s+yes\\s+\\d+\\s+\\d+$"))),
            qPrintable(line)); // embedded, with a text map
    }
}

void TestReportPdf::headerBlockHeight_data()
{
    QTest::addColumn<QStringList>("conditions");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("keepAs");
    QTest::newRow("no conditions") << QStringList() << 40 << QString();
    // As the query form writes a filter of one row.
    QTest::newRow("one filter row") << QStringList { QStringLiteral("过滤条件:"),
        QStringLiteral("    商圈名称:部分等于城") }
                                    << 64 << QStringLiteral("filter-row.pdf");
    QTest::newRow("three condition lines")
        << QStringList { QStringLiteral("编码大于010"), QStringLiteral("级别等于2"), QStringLiteral("名称包含东") }
        << 82 << QStringLiteral("conditions.pdf");
}

void TestReportPdf::headerBlockHeight()
{
    QFETCH(QStringList, conditions);
    QFETCH(int, height);
    QFETCH(QString, keepAs);
    ClientDataSet ds;
    fillAreas(ds, 5);
    const Printed printed = printListing(ds, 200, conditions, keepAs);
    QCOMPARE(printed.pageCount, 1);

    // The column titles come 2 units under the header block, itself under the top
    // margin; the title text is inside the block. A word's box from pdftotext is
    // the face's full line (ascent to descent), taller than the em the layout
    // places, so its middle is compared.
    const auto inside = [](const QRectF &box, double top, double bottom) {
        return !box.isNull() && box.center().y() > top && box.center().y() < bottom;
    };
    const double titlesTop = (38 + height + 2) * PointsPerUnit;
    const double titlesBottom = titlesTop + 22 * PointsPerUnit;
    const QRectF caption = wordBox(printed.bbox, QStringLiteral("商圈编码"));
    QVERIFY2(inside(caption, titlesTop, titlesBottom),
        qPrintable(QStringLiteral("%1 not in %2..%3").arg(caption.center().y()).arg(titlesTop).arg(titlesBottom)));
    // The title row is centred: its middle 11 units under its top, +-1.
    QVERIFY(qAbs(caption.center().y() - (titlesTop + 11 * PointsPerUnit)) < 1.5);
    const double blockTop = 38 * PointsPerUnit;
    const double blockBottom = (38 + height) * PointsPerUnit;
    const QRectF title = wordBox(printed.bbox, Title);
    QVERIFY(inside(title, blockTop, blockBottom));
    // Every condition line shows inside the block, one under the other.
    double previous = title.center().y();
    for (const QString &line : conditions) {
        const QRectF box = wordBox(printed.bbox, line.trimmed());
        QVERIFY2(inside(box, previous, blockBottom),
            qPrintable(
                QStringLiteral("%1: %2 not in %3..%4").arg(line).arg(box.center().y()).arg(previous).arg(blockBottom)));
        previous = box.center().y();
    }
}

void TestReportPdf::longNameIsCutToOneLine()
{
    ClientDataSet ds;
    fillAreas(ds, 3, true);
    const Printed printed = printListing(ds, 100, {}, QStringLiteral("longname.pdf"));
    QCOMPARE(printed.pageCount, 1);
    const QString &page = printed.pages.front();
    // A 101-unit cell holds 8 characters of 9 pt a line; the second line is cut.
    QVERIFY2(page.contains(LongName.left(6)), qPrintable(page));
    QVERIFY2(!page.contains(LongName.mid(9, 2)), qPrintable(page));
    QVERIFY(!page.contains(LongName.right(2)));
    // The next rows are where a single-line row puts them.
    const QRectF first = wordBox(printed.bbox, QStringLiteral("SQ000"));
    const QRectF second = wordBox(printed.bbox, QStringLiteral("SQ001"));
    QVERIFY(qAbs(second.top() - first.top() - 22 * PointsPerUnit) < 0.5);
}

void TestReportPdf::overWideColumnsPrintASecondPageSet()
{
    ClientDataSet ds;
    fillAreas(ds, 3);
    // 101 + 601 units fill the usable 718; the level column moves on.
    const Printed printed = printListing(ds, 600, {}, QStringLiteral("pagesets.pdf"));
    QCOMPARE(printed.pageCount, 2);
    const QString &first = printed.pages[0];
    const QString &second = printed.pages[1];
    QVERIFY(first.contains(Title));
    QVERIFY(first.contains(u"SQ002") && first.contains(u"名称2"));
    QVERIFY(!second.contains(Title));
    QVERIFY(!second.contains(u"级别"));
    QVERIFY(!second.contains(u"SQ00"));
    QVERIFY(!first.contains(u"级别"));
    QVERIFY(first.contains(u"第1页/共2页"));
    QVERIFY(second.contains(u"第2页/共2页"));
    // The level values print on the second set's page, one per row.
    const QStringList levels = second.split(u'\n').filter(QRegularExpression(QStringLiteral("^\\s*[1-4]\\s*$")));
    QCOMPARE(levels.size(), 3);
    QCOMPARE(printed.pages.join(u'\f').count(u"合计:3条"), 1);
}

void TestReportPdf::emptyDatasetPrintsTitleBlock()
{
    ClientDataSet ds;
    fillAreas(ds, 0);
    const Printed printed = printListing(ds, 200, {}, QStringLiteral("empty.pdf"));
    QCOMPARE(printed.pageCount, 1);
    const QString &page = printed.pages.front();
    for (const QString &text : { Title, QStringLiteral("商圈编码"), QStringLiteral("商圈名称"), QStringLiteral("级别"),
             QStringLiteral("合计:0条"), QStringLiteral("第1页/共1页") })
        QVERIFY2(page.contains(text), qPrintable(text));
    QVERIFY(!page.contains(u"SQ"));
}

void TestReportPdf::hiddenAndReorderedColumns()
{
    ClientDataSet ds;
    fillAreas(ds, 3);
    // The user moved the level first and hid the name.
    GridDescription grid = areaGrid(3, 200);
    std::swap(grid.columns[0], grid.columns[2]);
    grid.columns[1].visible = false;
    const Printed printed = printGrid(ds, grid, {});
    QCOMPARE(printed.pageCount, 1);
    const QString &page = printed.pages.front();
    QVERIFY(!page.contains(u"商圈名称"));
    QVERIFY(!page.contains(u"名称1"));
    QVERIFY2(page.contains(QRegularExpression(QStringLiteral("级别\\s+商圈编码"))), qPrintable(page));
    QVERIFY2(page.contains(QRegularExpression(QStringLiteral("\\n\\s*2\\s+SQ001"))), qPrintable(page));
}

void TestReportPdf::failedWriteKeepsTheOldFile()
{
    ClientDataSet ds;
    fillAreas(ds, 50);
    const DataSetReportSource source(ds);
    const auto layout = buildGridReport(areaGrid(50, 200), {}, defaultListingPage(), fontTextMeasure(96));
    QVERIFY(layout.ok());
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), 50);
    QVERIFY(report.ok());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.pdf"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    ReportVariables vars;
    // Cancelled after the first page: an error, and the old file untouched.
    const Status cancelled = writeReportPdf(*report, source, vars, path, [](int done, int) { return done < 1; });
    QVERIFY(!cancelled.ok());
    QVERIFY2(cancelled.error().startsWith(u"已取消写入PDF文件“old.pdf”。"), qPrintable(cancelled.error()));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old contents"));
    // A folder that does not exist: an error naming the file.
    const Status missing = writeReportPdf(*report, source, vars, dir.filePath(QStringLiteral("no/such.pdf")));
    QVERIFY(!missing.ok());
    QVERIFY2(
        missing.error().startsWith(u"无法写入PDF文件“such.pdf”：文件夹“") && missing.error().endsWith(u"no”不存在。"),
        qPrintable(missing.error()));
}

namespace {

// Darkness (0 white … 255 black a pixel) summed over a rectangle of an image.
int darkness(const QImage &image, const QRect &area)
{
    int sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += 255 - qGray(image.pixel(x, y));
    return sum;
}

// The bounding box of the dark pixels in `area`.
QRect ink(const QImage &image, const QRect &area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

void TestReportPdf::checkBoxesVerticalTitlesAndThickFrames()
{
    // One check-box column with a vertical title, no footer row: the table's
    // outer border is thick, the last row's bottom included.
    ClientDataSet ds;
    ds.createDataSet({ { QStringLiteral("f_yx"), FieldType::Bool, 0, {} } });
    for (const bool on : { true, false, true }) {
        ds.append();
        ds.field(0)->setValue(on);
        ds.post();
    }
    GridDescription grid;
    grid.titleRowHeight = 36;
    GridColumn flag;
    flag.field = 0;
    flag.title = QStringLiteral("有效");
    flag.width = 60;
    flag.checkBox = true;
    flag.titleVertical = true;
    grid.columns = { flag };
    const DataSetReportSource source(ds);
    const auto layout = buildGridReport(grid, {}, defaultListingPage(), fontTextMeasure(96));
    QVERIFY(layout.ok());
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), 3);
    QVERIFY(report.ok());

    const ReportVariables vars;
    const ReportPainter painter(*report, source, vars);
    QImage page(794, 1123, QImage::Format_RGB32);
    page.setDotsPerMeterX(3780); // 96 dpi: one unit a pixel
    page.setDotsPerMeterY(3780);
    page.fill(Qt::white);
    QCOMPARE(painter.unitsToDevice(page), 1.0);
    {
        QPainter p(&page);
        painter.paintPage(p, 0);
    }

    const std::vector<BandPlacement> placed = report->placements(0);
    const QRect titleCell = layout->pages[0].band(BandKind::Title)->objects[1].rect.translated(0, placed[0].y);
    const QRect rowCell = layout->pages[0].band(BandKind::MasterData)->objects[0].rect;
    const auto cellOfRow = [&](int row) { return rowCell.translated(0, placed[size_t(row) + 1].y); };

    // The title's two characters stand one above the other.
    const QRect title = ink(page, titleCell.adjusted(3, 3, -3, -3));
    QVERIFY2(title.height() > 2 * title.width() - 4,
        qPrintable(QStringLiteral("%1x%2").arg(title.width()).arg(title.height())));
    // A ticked box holds a tick; an empty one only its outline.
    const auto inside = [&](int row) { return darkness(page, cellOfRow(row).adjusted(20, 6, -20, -6)); };
    QVERIFY2(inside(0) > 2 * inside(1), qPrintable(QStringLiteral("%1 vs %2").arg(inside(0)).arg(inside(1))));
    QVERIFY(inside(2) > 2 * inside(1));
    QVERIFY(inside(1) > 0);

    // Across the middle of the column: the top of the titles and the bottom of
    // the last row are 2 units, the line between two rows 1.
    const int x = titleCell.center().x();
    const auto line = [&](int y) { return darkness(page, QRect(x, y - 2, 1, 5)); };
    const int between = line(cellOfRow(1).top());
    QVERIFY(line(titleCell.top()) > between * 3 / 2);
    QVERIFY(line(cellOfRow(2).top() + rowCell.height()) > between * 3 / 2);
    const auto column = [&](int at) { return darkness(page, QRect(at - 2, cellOfRow(1).center().y(), 5, 1)); };
    QVERIFY(column(rowCell.left()) > 400);
    QVERIFY(column(rowCell.left()) >= column(rowCell.right() + 1) - 60);
}

void TestReportPdf::cellTextStaysInItsCell_data()
{
    QTest::addColumn<bool>("wordWrap");
    QTest::addColumn<bool>("longName");
    // Unwrapped, the long name runs past its cell and must be cut at its edge;
    // wrapped, its first line fills the cell; a short name needs no cut.
    QTest::newRow("long name, one line") << false << true;
    QTest::newRow("long name, wrapped") << true << true;
    QTest::newRow("short name") << false << false;
}

// The PDF as a picture: each cell's text inside its own cell, the rules in
// place around it.
void TestReportPdf::cellTextStaysInItsCell()
{
    QFETCH(bool, wordWrap);
    QFETCH(bool, longName);
    ClientDataSet ds;
    fillAreas(ds, 2, longName);
    GridDescription grid = areaGrid(2, 100);
    grid.columns[2].align = HAlign::Left; // the level's digit at its cell's left
    GridReportOptions options;
    options.wordWrap = wordWrap;
    const DataSetReportSource source(ds);
    const auto layout = buildGridReport(grid, options, defaultListingPage(), fontTextMeasure(96));
    QVERIFY(layout.ok());
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), source.rowCount());
    QVERIFY(report.ok());
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("cells.pdf"));
    const ReportVariables vars;
    QVERIFY(writeReportPdf(*report, source, vars, pdf).ok());
    run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-singlefile"), pdf,
            dir.filePath(QStringLiteral("cells")) });
    const QImage page(dir.filePath(QStringLiteral("cells.png")));
    QVERIFY(!page.isNull());

    const Band *data = layout->pages[0].band(BandKind::MasterData);
    QVERIFY(data && data->objects.size() >= 3);
    const std::vector<BandPlacement> placed = report->placements(0);
    const auto row = std::find_if(placed.begin(), placed.end(),
        [](const BandPlacement &p) { return p.kind == BandKind::MasterData && p.row == 0; });
    QVERIFY(row != placed.end());
    const QRect nameCell = data->objects[1].rect.translated(0, row->y);
    const QRect levelCell = data->objects[2].rect.translated(0, row->y);
    // The name's ink fills its cell up to the padding and no further; the level
    // cell holds its digit at the left and nothing of the name.
    const QRect nameInk = ink(page, nameCell.adjusted(2, 2, -1, -2));
    QVERIFY(!nameInk.isEmpty());
    QVERIFY2(nameInk.right() < nameCell.right(), qPrintable(QStringLiteral("%1").arg(nameInk.right())));
    const QRect levelInk = ink(page, levelCell.adjusted(2, 2, -2, -2));
    QVERIFY(!levelInk.isEmpty());
    QVERIFY2(levelInk.left() >= levelCell.left() + 2 && levelInk.width() < 12,
        qPrintable(QStringLiteral("%1 %2").arg(levelInk.left()).arg(levelInk.width())));
    // The rule between the two cells is drawn, and the one under the row.
    QVERIFY(darkness(page, QRect(levelCell.left() - 1, levelCell.center().y(), 3, 1)) > 200);
    QVERIFY(darkness(page, QRect(nameCell.center().x(), nameCell.bottom() - 1, 1, 3)) > 200);
    // The rules are whole pixels at 100 %: down the name cell's padding, across
    // the rules above and under the row, nothing grey beside a rule.
    for (int y = nameCell.top() - 3; y <= nameCell.bottom() + 3; ++y) {
        const int grey = qGray(page.pixel(nameCell.left() + 1, y));
        QVERIFY2(grey < 0x50 || grey > 0xF0, qPrintable(QStringLiteral("y %1: %2").arg(y).arg(grey)));
    }
}

void TestReportPdf::textMapRepairKeepsGlyphIds()
{
    // Glyph ids (sources) equal to a radical stay; targets are repaired in bfchar
    // lines, single-glyph ranges and range arrays, never in a counted range.
    QByteArray pdf = "1 0 obj <2F00> endobj\n"
                     "begincmap\n"
                     "2 beginbfchar\n<2F00> <2F00>\n<0003> <0009>\nendbfchar\n"
                     "3 beginbfrange\n<0004> <0004> <2EDA>\n<0005> <0007> [<2F00> <0041> <2F47>]\n"
                     "<0008> <0009> <2F00>\nendbfrange\nendcmap\n"
                     "<2F00>";
    QHash<char16_t, char16_t> repairs { { 0x2F00, 0x4E00 }, { 0x2EDA, 0x9875 }, { 0x2F47, 0x65E5 }, { u'\t', u' ' } };
    const qsizetype size = pdf.size();
    QCOMPARE(repairTextMaps(pdf.data(), pdf.size(), repairs), 5);
    QCOMPARE(pdf.size(), size);
    QCOMPARE(pdf,
        QByteArray("1 0 obj <2F00> endobj\n"
                   "begincmap\n"
                   "2 beginbfchar\n<2F00> <4E00>\n<0003> <0020>\nendbfchar\n"
                   "3 beginbfrange\n<0004> <0004> <9875>\n<0005> <0007> [<4E00> <0041> <65E5>]\n"
                   "<0008> <0009> <2F00>\nendbfrange\nendcmap\n"
                   "<2F00>"));

    // The faces the listing prints with draw these radicals as the ideographs.
    FontSpec song;
    FontSpec hei;
    hei.family = QStringLiteral("黑体");
    const auto table = textMapRepairs({ reportFont(song), reportFont(hei) });
    QCOMPARE(table.value(0x2F00), char16_t(0x4E00)); // ⼀ 一
    QCOMPARE(table.value(0x2F47), char16_t(0x65E5)); // ⽇ 日
    QCOMPARE(table.value(0x2EDA), char16_t(0x9875)); // ⻚ 页
}

void TestReportPdf::textMapRepairsPerFace_data()
{
    // Sizes of one face share its glyphs; a face without ideographs adds only the
    // tab; the Song face draws ⺫ (U+2EAB) as 罒, the Hei face not.
    QTest::addColumn<QStringList>("families");
    QTest::addColumn<QList<double>>("points");
    QTest::addColumn<bool>("songRadical");
    QTest::addColumn<bool>("ideographs");
    QTest::newRow("Song") << QStringList { u"宋体"_s } << QList<double> { 9 } << true << true;
    QTest::newRow("Hei at two sizes") << QStringList { u"黑体"_s, u"黑体"_s } << QList<double> { 22, 8 } << false
                                      << true;
    QTest::newRow("Hei then Song") << QStringList { u"黑体"_s, u"宋体"_s, u"黑体"_s } << QList<double> { 22, 9, 8 }
                                   << true << true;
    QTest::newRow("no ideographs") << QStringList { u"MS Sans Serif"_s } << QList<double> { 8 } << false << false;
}

void TestReportPdf::textMapRepairsPerFace()
{
    QFETCH(QStringList, families);
    QFETCH(QList<double>, points);
    QFETCH(bool, songRadical);
    QFETCH(bool, ideographs);
    std::vector<QFont> fonts;
    for (qsizetype i = 0; i < families.size(); ++i) {
        FontSpec font;
        font.family = families[i];
        font.pointSize = points[i];
        fonts.push_back(reportFont(font));
    }
    const auto table = textMapRepairs(fonts);
    QCOMPARE(table.value(u'\t'), u' ');
    QCOMPARE(table.value(0x2EDA), ideographs ? char16_t(0x9875) : char16_t(0)); // ⻚ 页
    QCOMPARE(table.value(0x2F47), ideographs ? char16_t(0x65E5) : char16_t(0)); // ⽇ 日
    QCOMPARE(table.value(0x2EAB), songRadical ? char16_t(0x7F52) : char16_t(0)); // ⺫ 罒
    QCOMPARE(table.size() > 200, ideographs);
}

void TestReportPdf::textMapRepairInWindows_data()
{
    QTest::addColumn<int>("window");
    QTest::newRow("smaller than a CMap") << 64;
    QTest::newRow("a CMap and a bit") << 150;
    QTest::newRow("cutting begincmap") << 333;
    QTest::newRow("whole file") << (1 << 20);
}

void TestReportPdf::textMapRepairInWindows()
{
    // A file is repaired a window at a time exactly as it is in one piece,
    // wherever the windows cut the CMaps.
    QFETCH(int, window);
    QByteArray pdf;
    for (int i = 0; i < 12; ++i)
        pdf += QByteArray(37 * i, 'x') + "\nbegincmap\n1 beginbfchar\n<2F00> <2F00>\nendbfchar\n"
            + "2 beginbfrange\n<0004> <0004> <2EDA>\n<0005> <0006> [<2F47> <0009>]\nendbfrange\nendcmap\n";
    const QHash<char16_t, char16_t> repairs { { 0x2F00, 0x4E00 }, { 0x2EDA, 0x9875 }, { 0x2F47, 0x65E5 },
        { u'\t', u' ' } };
    QByteArray whole = pdf;
    QCOMPARE(repairTextMaps(whole.data(), whole.size(), repairs), 48);

    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(pdf);
    file.flush();
    QCOMPARE(repairTextMapsInFile(file, repairs, window), 48);
    file.seek(0);
    QCOMPARE(file.readAll(), whole);
}

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
