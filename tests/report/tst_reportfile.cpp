// Saved prepared reports: a saved and loaded listing prints the same text as the
// listing printed directly, with the dataset gone; every stored cell comes back
// with its text and value; damaged, truncated, foreign and forged files are refused
// with a message, whatever byte is wrong.
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFile.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace sqda;
using namespace sqda::report;
using namespace Qt::StringLiterals;

namespace {

// Areas with a value of every field type; some cells null.
void fillAreas(ClientDataSet &ds, int count)
{
    ds.createDataSet({ { u"f_sqbm"_s, FieldType::String, 12, {} }, { u"f_sqmc"_s, FieldType::String, 40, {} },
        { u"f_jb"_s, FieldType::Int32, 0, {} }, { u"f_je"_s, FieldType::Double, 0, {} },
        { u"f_mj"_s, FieldType::Bool, 0, {} }, { u"f_big"_s, FieldType::Int64, 0, {} },
        { u"f_rq"_s, FieldType::Date, 0, {} } });
    for (int i = 0; i < count; ++i) {
        ds.append();
        ds.field(0)->setValue(u"SQ%1"_s.arg(i, 3, 10, QLatin1Char('0')));
        ds.field(1)->setValue(i == 0 ? u"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"_s : u"名称%1"_s.arg(i));
        ds.field(2)->setValue(i % 4 + 1);
        if (i % 5 != 0)
            ds.field(3)->setValue(i / 3.0);
        ds.field(4)->setValue(i % 2 == 0);
        ds.field(5)->setValue(i == 1 ? std::numeric_limits<qint64>::min() : qint64(i) << 40);
        if (i % 7 != 0)
            ds.field(6)->setValue(QDate(2026, 1, 1).addDays(i));
        ds.post();
    }
}

GridDescription areaGrid(int rows)
{
    GridDescription g;
    g.footerRowCount = 1;
    const char16_t *titles[] = { u"商圈编码", u"商圈名称", u"级别", u"金额", u"末级", u"编号", u"日期" };
    const int widths[] = { 90, 160, 40, 80, 30, 150, 80 };
    for (int i = 0; i < 7; ++i) {
        GridColumn c;
        c.field = i;
        c.title = QString::fromUtf16(titles[i]);
        c.width = widths[i];
        c.checkBox = i == 4;
        if (i == 0)
            c.footers = { { FooterValue::StaticText, u"合计:%1条"_s.arg(rows), false, {}, HAlign::Left } };
        if (i == 3)
            c.footers = { { FooterValue::Sum, {}, false, {}, HAlign::Right } };
        g.columns.push_back(c);
    }
    return g;
}

ReportVariables listingVariables()
{
    ReportVariables vars;
    vars.set(u"Title"_s, u"商圈档案查询"_s);
    vars.set(u"Condi"_s, u"部门:0101\n级别:1"_s);
    vars.set(u"Date"_s, u"2026-12-10"_s);
    vars.set(u"Time"_s, u"08:15:00"_s);
    vars.set(u"Oper"_s, u"张三"_s);
    return vars;
}

std::shared_ptr<const PreparedReport> prepareListing(const ClientDataSet &ds, const TextMeasure &measure = {})
{
    GridReportOptions options;
    options.pageHeaderHeight = listingHeaderHeight(true, 2);
    auto layout = buildGridReport(areaGrid(ds.recordCount()), options, defaultListingPage(), measure);
    if (!layout)
        return {};
    auto report = PreparedReport::prepare(std::make_shared<const ReportLayout>(*layout), ds.recordCount());
    if (!report)
        return {};
    return std::make_shared<const PreparedReport>(std::move(report).value());
}

QString pdfText(const QString &pdf)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-layout"_s, pdf, u"-"_s });
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QByteArray validFile(int rows = 12)
{
    ClientDataSet ds;
    fillAreas(ds, rows);
    const DataSetReportSource source(ds);
    const auto report = prepareListing(ds);
    const auto bytes = encodeReport(*report, source, listingVariables());
    return bytes ? *bytes : QByteArray();
}

// The body of a file, unpacked.
QByteArray bodyOf(const QByteArray &file)
{
    return qUncompress(file.mid(20));
}

// A file header around a payload as given, with the right checksum.
QByteArray rawFile(const QByteArray &payload, quint16 version = 1)
{
    QByteArray file("SQDARPT\x1a", 8);
    const quint32 size = quint32(payload.size()), crc = reportChecksum(payload);
    for (const quint64 v : { quint64(version), quint64(0) })
        file.append(char(v)).append(char(v >> 8));
    for (const quint32 v : { size, crc })
        for (int i = 0; i < 4; ++i)
            file.append(char(v >> (8 * i)));
    return file + payload;
}

} // namespace

class TestReportFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ensureLibraryInitialized(); }
    void loadedReportPrintsTheSameText();
    void cellsLayoutAndVariablesComeBack();
    void damagedFileIsRefused_data();
    void damagedFileIsRefused();
    void everyTruncationAndCorruptionIsRefusedCleanly();
    void fileErrors();
};

void TestReportFile::loadedReportPrintsTheSameText()
{
    QTemporaryDir dir;
    const QString direct = dir.filePath(u"direct.pdf"_s), again = dir.filePath(u"again.pdf"_s);
    const QString saved = dir.filePath(u"listing.sqdarpt"_s);
    {
        ClientDataSet ds;
        fillAreas(ds, 150);
        ds.addIndex(u"desc"_s, u"f_sqbm"_s, {}, u"f_sqbm"_s);
        ds.setIndexName(u"desc"_s);
        const DataSetReportSource source(ds);
        const auto report = prepareListing(ds, fontTextMeasure(96));
        QVERIFY(report);
        QVERIFY(report->pageCount() >= 3);
        const ReportVariables vars = listingVariables();
        const Status pdf = writeReportPdf(*report, source, vars, direct);
        QVERIFY2(pdf.ok(), qPrintable(pdf.error()));
        const Status done = saveReport(*report, source, vars, saved);
        QVERIFY2(done.ok(), qPrintable(done.error()));
    } // the dataset is gone: the file alone prints the pages
    if (const QString keep = qEnvironmentVariable("SQDA_KEEP_REPORT_FILE"); !keep.isEmpty())
        QFile::copy(saved, keep); // a seed for fuzz/fuzz_report

    const auto loaded = loadReport(saved);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error()));
    const Status pdf = writeReportPdf(*loaded->report, *loaded->rows, *loaded->variables, again);
    QVERIFY2(pdf.ok(), qPrintable(pdf.error()));
    const QString before = pdfText(direct), after = pdfText(again);
    QVERIFY(before.contains(u"SQ149"_s));
    QVERIFY(before.contains(u"第1页/共"_s));
    QVERIFY(before.contains(u"部门:0101"_s));
    QCOMPARE(after, before);

    // Compact: the cells go compressed, well under the texts they hold.
    QVERIFY2(QFileInfo(saved).size() < 150 * 40, qPrintable(QString::number(QFileInfo(saved).size())));
}

void TestReportFile::cellsLayoutAndVariablesComeBack()
{
    ClientDataSet ds;
    fillAreas(ds, 300);
    ds.setFilter(u"f_jb <> 2"_s);
    ds.setFiltered(true);
    const DataSetReportSource source(ds);
    const auto report = prepareListing(ds);
    QVERIFY(report);
    const auto bytes = encodeReport(*report, source, listingVariables());
    QVERIFY2(bytes.ok(), qPrintable(bytes.error()));
    QCOMPARE(*encodeReport(*report, source, listingVariables()), *bytes); // the same bytes each time
    const auto loaded = decodeReport(*bytes);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error()));

    const ReportDataSource &rows = *loaded->rows;
    QCOMPARE(rows.rowCount(), source.rowCount());
    for (int r = 0; r < rows.rowCount(); ++r)
        for (int c = 0; c < 7; ++c) {
            QCOMPARE(rows.displayText(r, c), source.displayText(r, c));
            const QVariant want = source.value(r, c);
            const QVariant got = rows.value(r, c);
            QCOMPARE(got.isValid(), want.isValid());
            if (want.typeId() == QMetaType::QDate) // kept as its text
                QCOMPARE(got.toString(), want.toString());
            else if (want.isValid())
                QCOMPARE(got.toString(), want.toString());
        }
    QCOMPARE(rows.displayText(0, 99), QString()); // a column the report does not print
    QCOMPARE(columnSum(rows, 3), columnSum(source, 3));

    const PreparedReport &back = *loaded->report;
    QCOMPARE(back.pageCount(), report->pageCount());
    for (int i = 0; i < back.pageCount(); ++i) {
        QCOMPARE(back.page(i).firstRow, report->page(i).firstRow);
        QCOMPARE(back.page(i).rowCount, report->page(i).rowCount);
        QCOMPARE(back.page(i).flags, report->page(i).flags);
    }
    const ReportLayout &a = report->layout(), &b = back.layout();
    QCOMPARE(b.fonts, a.fonts);
    QCOMPARE(b.page.leftMargin, a.page.leftMargin);
    QCOMPARE(b.page.printerName, a.page.printerName);
    QCOMPARE(b.pages.size(), a.pages.size());
    for (size_t s = 0; s < a.pages.size(); ++s) {
        QCOMPARE(b.pages[s].bands.size(), a.pages[s].bands.size());
        for (size_t k = 0; k < a.pages[s].bands.size(); ++k) {
            const Band &x = a.pages[s].bands[k], &y = b.pages[s].bands[k];
            QCOMPARE(y.kind, x.kind);
            QCOMPARE(y.height, x.height);
            QCOMPARE(y.objects.size(), x.objects.size());
            for (size_t o = 0; o < x.objects.size(); ++o) {
                QCOMPARE(y.objects[o].rect, x.objects[o].rect);
                QCOMPARE(y.objects[o].kind, x.objects[o].kind);
                QCOMPARE(y.objects[o].rich.plainText(), x.objects[o].rich.plainText());
                QCOMPARE(y.objects[o].frames, x.objects[o].frames);
                QCOMPARE(y.objects[o].expandVariables, x.objects[o].expandVariables);
            }
        }
    }
    QCOMPARE(loaded->variables->value(u"condi"), u"部门:0101\n级别:1"_s);
    QCOMPARE(loaded->variables->value(u"Oper"), u"张三"_s);
}

void TestReportFile::damagedFileIsRefused_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    const QByteArray valid = validFile();
    QVERIFY(!valid.isEmpty());
    QByteArray flipped = valid;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x10);
    QByteArray newer = valid;
    newer[8] = 2;
    const QByteArray body = bodyOf(valid);
    QVERIFY(!body.isEmpty());

    QTest::newRow("empty") << QByteArray() << u"这不是保存的报表，或者文件已损坏：文件开头不是报表的标记。"_s;
    QTest::newRow("foreign") << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n")
                             << u"文件开头不是报表的标记"_s;
    QTest::newRow("truncated") << valid.left(valid.size() - 7) << u"文件头却记为"_s;
    QTest::newRow("bit flipped") << flipped << u"校验和不符"_s;
    QTest::newRow("newer version") << newer << u"保存的报表是第2版格式，本程序只能读第1版。"_s;
    // A body size no payload of this length can unpack to: refused before
    // anything is allocated for it.
    QTest::newRow("huge body size") << rawFile(QByteArray("\x3f\xff\xff\xff\x78\x9c\x03\x00", 8)) << u"内容大小"_s;
    QTest::newRow("not zlib") << rawFile(QByteArray("\x00\x00\x00\x10garbage-garbage!", 20)) << u"数据无法解压"_s;
    // A count far beyond what the rest of the body holds: the paper setup of the
    // listing (as written), then 2^40 fonts.
    const QByteArray setup = body.left(body.indexOf("默认打印机") + int(strlen("默认打印机")) + 1 + 8);
    QTest::newRow("huge font count") << frameReportBody(setup + QByteArray("\x80\x80\x80\x80\x80\x20", 6))
                                     << u"个字体在文件里放不下"_s;
    QTest::newRow("bytes after the end") << frameReportBody(body + "x") << u"结尾之后还有多余的字节"_s;
    QTest::newRow("body cut short") << frameReportBody(body.left(body.size() - 3)) << u"或者文件已损坏"_s;
}

void TestReportFile::damagedFileIsRefused()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    const auto loaded = decodeReport(file);
    QVERIFY(!loaded.ok());
    QVERIFY2(loaded.error().contains(message), qPrintable(loaded.error()));
}

void TestReportFile::everyTruncationAndCorruptionIsRefusedCleanly()
{
    // Every prefix of a body, and the body with any one byte set to each of a few
    // values (which turns counts and sizes huge or negative), either loads as a
    // consistent report or is refused; never a crash, a hang or a huge allocation.
    const QByteArray body = bodyOf(validFile(3));
    QVERIFY(!body.isEmpty());
    int refused = 0, loaded = 0;
    const auto check = [&](const QByteArray &b) {
        const auto r = decodeReport(frameReportBody(b));
        if (!r) {
            ++refused;
            return;
        }
        ++loaded;
        // What loads can be walked like a painter walks it.
        for (int p = 0; p < r->report->pageCount(); ++p)
            for (const BandPlacement &bp : r->report->placements(p))
                if (bp.row >= 0)
                    (void)r->rows->displayText(bp.row, 0);
    };
    for (qsizetype n = 0; n < body.size(); ++n)
        check(body.left(n));
    for (qsizetype i = 0; i < body.size(); ++i)
        for (const char v : { '\x00', '\x01', '\x7f', '\x80', '\xff' }) {
            QByteArray b = body;
            b[i] = v;
            check(b);
        }
    QCOMPARE(refused + loaded, int(body.size() * 6));
    QVERIFY(refused > body.size()); // every prefix at least
}

void TestReportFile::fileErrors()
{
    QTemporaryDir dir;
    const auto missing = loadReport(dir.filePath(u"nothing.sqdarpt"_s));
    QVERIFY(!missing.ok());
    QCOMPARE(missing.error(), u"无法打开报表“nothing.sqdarpt”：文件不存在。"_s);
    QVERIFY(QDir(dir.path()).mkdir(u"folder.sqdarpt"_s));
    QCOMPARE(loadReport(dir.filePath(u"folder.sqdarpt"_s)).error(),
        u"无法打开报表“folder.sqdarpt”：这是一个文件夹，不是文件。"_s);

    const QString foreign = dir.filePath(u"notes.sqdarpt"_s);
    QFile f(foreign);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("商圈 notes, not a report");
    f.close();
    const auto wrong = loadReport(foreign);
    QVERIFY(!wrong.ok());
    QVERIFY2(wrong.error().startsWith(u"报表“notes.sqdarpt”：这不是保存的报表"), qPrintable(wrong.error()));

    ClientDataSet ds;
    fillAreas(ds, 5);
    const DataSetReportSource source(ds);
    const auto report = prepareListing(ds);
    const Status bad = saveReport(*report, source, listingVariables(), dir.filePath(u"missing/a.sqdarpt"_s));
    QVERIFY(!bad.ok());
    QCOMPARE(bad.error(),
        u"无法保存报表“a.sqdarpt”：文件夹“%1”不存在。"_s.arg(QDir::toNativeSeparators(dir.filePath(u"missing"_s))));
    QCOMPARE(saveReport(*report, source, listingVariables(), dir.filePath(u"folder.sqdarpt"_s)).error(),
        u"无法保存报表“folder.sqdarpt”：“folder.sqdarpt”是一个文件夹。"_s);
    // The view changed after formatting: refused, not saved with other rows.
    ds.append();
    ds.field(0)->setValue(u"SQ999"_s);
    ds.post();
    const Status changed = saveReport(*report, source, listingVariables(), dir.filePath(u"b.sqdarpt"_s));
    QVERIFY(!changed.ok());
    QVERIFY2(changed.error().contains(u"生成报表以后数据行有了变化（当时"), qPrintable(changed.error()));
    QVERIFY(!QFile::exists(dir.filePath(u"b.sqdarpt"_s)));
}

QTEST_MAIN(TestReportFile)
#include "tst_reportfile.moc"
