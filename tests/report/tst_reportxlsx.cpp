// The listing exported as a spreadsheet and read back from the .xlsx (unzip -p of
// the sheet and workbook XML): titles, every row in the view's order and filter,
// the footer row, numbers as numbers, check boxes as booleans, Chinese intact,
// column widths from the printed widths; page sets side by side; failures that
// leave nothing behind.
#include "data/ClientDataSet.h"
#include "report/GridReport.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/XlsxExport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

using namespace sqda;
using namespace sqda::report;
using namespace Qt::StringLiterals;

namespace {

const QString LongName = QStringLiteral("一二三四五六七八九十甲乙丙丁戊己庚辛壬癸");

struct Cell
{
    QString type; // the t attribute: "" for numbers, "inlineStr", "s", "b", "str"
    QString text; // <v> or the inline string
};

struct Sheet
{
    bool ok = false;
    QList<QList<Cell>> rows; // dense, by row and column index
    QList<double> widths; // <col width>, by column index
    QString sheetName;
};

QByteArray unzip(const QString &xlsx, const QString &member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), { QStringLiteral("-p"), xlsx, member });
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

int columnIndex(QStringView ref)
{
    int col = 0;
    for (const QChar ch : ref) {
        if (!ch.isLetter())
            break;
        col = col * 26 + (ch.unicode() - 'A' + 1);
    }
    return col - 1;
}

Sheet readSheet(const QString &xlsx)
{
    Sheet sheet;
    const QByteArray xml = unzip(xlsx, QStringLiteral("xl/worksheets/sheet1.xml"));
    if (xml.isEmpty())
        return sheet;
    QXmlStreamReader r(xml);
    Cell *cell = nullptr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto a = r.attributes();
            if (r.name() == u"col") {
                const int min = a.value(QLatin1String("min")).toInt(), max = a.value(QLatin1String("max")).toInt();
                for (int c = min; c <= max; ++c) {
                    while (sheet.widths.size() < c)
                        sheet.widths.append(0);
                    sheet.widths[c - 1] = a.value(QLatin1String("width")).toDouble();
                }
            } else if (r.name() == u"row") {
                const int index = a.value(QLatin1String("r")).toInt() - 1;
                while (sheet.rows.size() <= index)
                    sheet.rows.append(QList<Cell>());
            } else if (r.name() == u"c") {
                const int col = columnIndex(a.value(QLatin1String("r")));
                QList<Cell> &row = sheet.rows.last();
                while (row.size() <= col)
                    row.append(Cell());
                cell = &row[col];
                cell->type = a.value(QLatin1String("t")).toString();
            } else if ((r.name() == u"v" || r.name() == u"t") && cell) {
                cell->text = r.readElementText();
            }
        } else if (r.isEndElement() && r.name() == u"c") {
            cell = nullptr;
        }
    }
    const QByteArray book = unzip(xlsx, QStringLiteral("xl/workbook.xml"));
    QXmlStreamReader b(book);
    while (!b.atEnd())
        if (b.readNext() == QXmlStreamReader::StartElement && b.name() == u"sheet")
            sheet.sheetName = b.attributes().value(QLatin1String("name")).toString();
    sheet.ok = !r.hasError() && !b.hasError();
    return sheet;
}

// Areas "SQ000".. named "名称n" (row 0: LongName), level 1-4, an amount, a flag,
// a 64-bit number (one beyond what a spreadsheet number keeps exactly) and a note.
void fillAreas(ClientDataSet &ds, int count)
{
    ds.createDataSet({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_je"), FieldType::Double, 0, {} }, { QStringLiteral("f_mj"), FieldType::Bool, 0, {} },
        { QStringLiteral("f_big"), FieldType::Int64, 0, {} }, { QStringLiteral("f_bz"), FieldType::String, 20, {} } });
    for (int i = 0; i < count; ++i) {
        ds.append();
        ds.field(0)->setValue(QStringLiteral("SQ%1").arg(i, 3, 10, QLatin1Char('0')));
        ds.field(1)->setValue(i == 0 ? LongName : QStringLiteral("名称%1").arg(i));
        ds.field(2)->setValue(i % 4 + 1);
        ds.field(3)->setValue(i + 0.25);
        ds.field(4)->setValue(i % 2 == 0);
        ds.field(5)->setValue(i == 1 ? (qint64(1) << 60) + 1 : qint64(i) * 1000);
        if (i % 3 != 0)
            ds.field(6)->setValue(QStringLiteral("备注%1").arg(i));
        ds.post();
    }
}

GridColumn column(int field, const QString &title, int width)
{
    GridColumn c;
    c.field = field;
    c.title = title;
    c.width = width;
    return c;
}

// Code (with the count text), name, level, amount (summed), flag as check box,
// the 64-bit number, and the note hidden.
GridDescription areaGrid(int rows, int nameWidth = 200)
{
    GridDescription g;
    g.footerRowCount = 1;
    GridColumn code = column(0, QStringLiteral("商圈编码"), 100);
    code.footers = { { FooterValue::StaticText, QStringLiteral("合计:%1条").arg(rows), false, {}, HAlign::Left } };
    GridColumn amount = column(3, QStringLiteral("金额"), 60);
    amount.footers = { { FooterValue::Sum, {}, false, {}, HAlign::Right } };
    GridColumn flag = column(4, QStringLiteral("末级"), 30);
    flag.checkBox = true;
    GridColumn note = column(6, QStringLiteral("备注"), 80);
    note.visible = false;
    g.columns = { code, column(1, QStringLiteral("商圈名称"), nameWidth), column(2, QStringLiteral("级别"), 40), amount,
        flag, column(5, QStringLiteral("编号"), 90), note };
    return g;
}

struct Exported
{
    Status status;
    Sheet sheet;
};

Status exportGrid(const ClientDataSet &ds, const GridDescription &grid, const QString &path,
    const QString &title = QStringLiteral("商圈档案查询"), const std::function<bool(int, int)> &progress = {})
{
    const DataSetReportSource source(ds);
    const auto layout = buildGridReport(grid, {}, defaultListingPage());
    if (!layout)
        return Error { layout.error() };
    const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), source.rowCount());
    if (!report)
        return Error { report.error() };
    ReportVariables vars;
    vars.set(QStringLiteral("Title"), title);
    return exportListingXlsx(*report, source, vars, path, progress);
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestReportXlsx : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exportsTheListingAsCells();
    void pageSetsSideBySide();
    void emptyDatasetExportsTitlesAndFooter();
    void sheetName_data();
    void sheetName();
    void failureLeavesNothingBehind_data();
    void failureLeavesNothingBehind();
    void fullDiskIsAnError();
};

void TestReportXlsx::exportsTheListingAsCells()
{
    ClientDataSet ds;
    fillAreas(ds, 40);
    ds.addIndex(QStringLiteral("desc"), QStringLiteral("f_sqbm"), {}, QStringLiteral("f_sqbm"));
    ds.setIndexName(QStringLiteral("desc"));
    ds.setFilter(QStringLiteral("f_jb <> 4"));
    ds.setFiltered(true);
    const int shown = ds.recordCount();
    QCOMPARE(shown, 30);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listing.xlsx"));
    const Status done = exportGrid(ds, areaGrid(shown), path);
    QVERIFY2(done.ok(), qPrintable(done.error()));
    QCOMPARE(filesIn(dir.path()), QStringList { QStringLiteral("listing.xlsx") }); // no temporary left over
    const Sheet sheet = readSheet(path);
    QVERIFY(sheet.ok);

    // Titles, 30 rows, one footer row; the hidden note is not exported.
    QCOMPARE(sheet.rows.size(), 1 + shown + 1);
    QStringList titles;
    for (const Cell &c : sheet.rows[0])
        titles << c.text;
    QCOMPARE(titles, QStringList({ u"商圈编码"_s, u"商圈名称"_s, u"级别"_s, u"金额"_s, u"末级"_s, u"编号"_s }));

    // Rows in the view's order: code descending, level 4 filtered out.
    double sum = 0;
    for (int r = 0; r < shown; ++r) {
        const QList<Cell> &row = sheet.rows[r + 1];
        QCOMPARE(row.size(), 6);
        const int i = ds.store().value(ds.storeRow(r), 0).toString().mid(2).toInt();
        QCOMPARE(row[0].text, QStringLiteral("SQ%1").arg(i, 3, 10, QLatin1Char('0')));
        QVERIFY(row[0].type == u"inlineStr" || row[0].type == u"s");
        QCOMPARE(row[1].text, i == 0 ? LongName : QStringLiteral("名称%1").arg(i));
        QCOMPARE(row[2].type, QString()); // a number: <c><v>
        QCOMPARE(row[2].text.toInt(), i % 4 + 1);
        QCOMPARE(row[3].type, QString());
        QCOMPARE(row[3].text.toDouble(), i + 0.25);
        QCOMPARE(row[4].type, u"b"_s);
        QCOMPARE(row[4].text, i % 2 == 0 ? u"1"_s : u"0"_s);
        if (i == 1) { // beyond 2^53: text, every digit kept
            QCOMPARE(row[5].type, u"inlineStr"_s);
            QCOMPARE(row[5].text, QString::number((qint64(1) << 60) + 1));
        } else {
            QCOMPARE(row[5].type, QString());
            QCOMPARE(row[5].text.toLongLong(), qint64(i) * 1000);
        }
        sum += i + 0.25;
    }
    QCOMPARE(sheet.rows[1][0].text, u"SQ038"_s); // 39 has level 4

    // The footer: the count text as text, the sum as a number.
    const QList<Cell> &footer = sheet.rows.last();
    QCOMPARE(footer[0].text, QStringLiteral("合计:%1条").arg(shown));
    QCOMPARE(footer[3].type, QString());
    QCOMPARE(footer[3].text.toDouble(), sum);

    // Widths: the printed width (on screen + 1) in pixels; the file stores a
    // column's width with its padding, w for 7w pixels.
    const int printed[] = { 101, 201, 41, 61, 31, 91 };
    QCOMPARE(sheet.widths.size(), 6);
    for (int c = 0; c < 6; ++c)
        QVERIFY2(std::abs(sheet.widths[c] * 7 - printed[c]) < 0.5,
            qPrintable(QStringLiteral("column %1: width %2").arg(c).arg(sheet.widths[c])));
}

void TestReportXlsx::pageSetsSideBySide()
{
    // A name column too wide for the page pushes the last columns to a second page
    // set; the sheet still has every column, in grid order, each with its title.
    ClientDataSet ds;
    fillAreas(ds, 5);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wide.xlsx"));
    const Status done = exportGrid(ds, areaGrid(5, 560), path);
    QVERIFY2(done.ok(), qPrintable(done.error()));
    const Sheet sheet = readSheet(path);
    QCOMPARE(sheet.rows.size(), 7);
    QStringList titles;
    for (const Cell &c : sheet.rows[0])
        titles << c.text;
    QCOMPARE(titles, QStringList({ u"商圈编码"_s, u"商圈名称"_s, u"级别"_s, u"金额"_s, u"末级"_s, u"编号"_s }));
    QCOMPARE(sheet.rows[3][2].text, u"3"_s);
    QCOMPARE(sheet.rows[6][0].text, u"合计:5条"_s);
    QCOMPARE(sheet.rows[6][3].text.toDouble(), 0.25 + 1.25 + 2.25 + 3.25 + 4.25);
}

void TestReportXlsx::emptyDatasetExportsTitlesAndFooter()
{
    ClientDataSet ds;
    fillAreas(ds, 0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.xlsx"));
    const Status done = exportGrid(ds, areaGrid(0), path);
    QVERIFY2(done.ok(), qPrintable(done.error()));
    const Sheet sheet = readSheet(path);
    QCOMPARE(sheet.rows.size(), 2);
    QCOMPARE(sheet.rows[0][1].text, u"商圈名称"_s);
    QCOMPARE(sheet.rows[1][0].text, u"合计:0条"_s);
    QCOMPARE(sheet.rows[1][3].text, u"0"_s);
}

void TestReportXlsx::sheetName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("sheet");
    QTest::newRow("chinese") << u"商圈档案查询"_s << u"商圈档案查询"_s;
    QTest::newRow("empty") << QString() << u"Sheet1"_s;
    QTest::newRow("bracket") << u"商圈[档案]"_s << u"Sheet1"_s;
    QTest::newRow("too long") << QString(40, u'商') << u"Sheet1"_s;
}

void TestReportXlsx::sheetName()
{
    QFETCH(QString, title);
    QFETCH(QString, sheet);
    ClientDataSet ds;
    fillAreas(ds, 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("named.xlsx"));
    const Status done = exportGrid(ds, areaGrid(2), path, title);
    QVERIFY2(done.ok(), qPrintable(done.error()));
    QCOMPARE(readSheet(path).sheetName, sheet);
}

void TestReportXlsx::failureLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing folder") << u"folder"_s << u"无法写入Excel文件“old.xlsx”：文件夹“"_s;
    QTest::newRow("rows changed") << u"rows"_s << u"生成报表以后数据行有了变化（当时9999行，现在10000行）"_s;
    QTest::newRow("cancelled") << u"cancel"_s << u"已取消写入Excel文件“old.xlsx”。"_s;
}

void TestReportXlsx::failureLeavesNothingBehind()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    ClientDataSet ds;
    fillAreas(ds, 10'000);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("old.xlsx"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous export");
    }
    const auto openFiles = [] { return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size(); };
    const qsizetype filesBefore = openFiles();
    Status done;
    if (fault == u"folder") {
        path = dir.filePath(QStringLiteral("missing/old.xlsx"));
        done = exportGrid(ds, areaGrid(10'000), path);
    } else if (fault == u"rows") {
        const DataSetReportSource source(ds);
        const auto layout = buildGridReport(areaGrid(10'000), {}, defaultListingPage());
        QVERIFY(layout.ok());
        const auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), 9'999);
        QVERIFY(report.ok());
        done = exportListingXlsx(*report, source, ReportVariables(), path);
    } else {
        int asked = 0;
        done = exportGrid(ds, areaGrid(10'000), path, {}, [&](int doneRows, int total) {
            ++asked;
            return doneRows < total / 2;
        });
        QVERIFY(asked >= 2);
    }
    QVERIFY(!done.ok());
    QVERIFY2(done.error().contains(message), qPrintable(done.error()));
    QCOMPARE(openFiles(), filesBefore); // no file of the export left open
    // The old file is as it was, and nothing else is left in the folder.
    QCOMPARE(filesIn(dir.path()), QStringList { QStringLiteral("old.xlsx") });
    QFile old(dir.filePath(QStringLiteral("old.xlsx")));
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("previous export"));
}

void TestReportXlsx::fullDiskIsAnError()
{
    // Needs a file system too small for the export, e.g. as root:
    //   mount -t tmpfs -o size=256k tmpfs /tmp/small; SQDA_SMALL_DISK=/tmp/small
    const QString small = qEnvironmentVariable("SQDA_SMALL_DISK");
    if (small.isEmpty())
        QSKIP("SQDA_SMALL_DISK names no small file system to fill");
    ClientDataSet ds;
    fillAreas(ds, 20'000);
    const QString path = QDir(small).filePath(u"full.xlsx"_s);
    const Status done = exportGrid(ds, areaGrid(20'000), path);
    QVERIFY(!done.ok());
    QVERIFY2(done.error().startsWith(u"无法写入Excel文件“full.xlsx”："), qPrintable(done.error()));
    QCOMPARE(filesIn(small), QStringList());
}

QTEST_GUILESS_MAIN(TestReportXlsx)
#include "tst_reportxlsx.moc"
