// The hierarchy in and out of files without a screen: export in tree order and
// back through the import reader, the encodings and delimiters a CSV may come
// in, the bad files the reader refuses, the check's verdicts and the run
// through an in-memory host (stop after the row in hand, carry on past a code
// the host refuses).
#include "AreaHostFake.h"

#include "data/DataStore.h"
#include "data/Packet.h"
#include "host/CoorDisp.h"
#include "tradearea/AreaExport.h"
#include "tradearea/AreaFileReader.h"
#include "tradearea/AreaImportPlan.h"
#include "tradearea/AreaImportRun.h"
#include "tradearea/TradeArea.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <xlsxwriter.h>
#include <zip.h>

using namespace sqda;
using namespace sqda::test;

namespace {

QByteArray utf8Bom(const QString &text)
{
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QStringList rowTexts(const ImportRows &rows)
{
    QStringList out;
    for (const ImportRow &r : rows)
        out << QStringLiteral("%1|%2|%3").arg(r.line).arg(r.code, r.name)
                + (r.problem.isEmpty() ? QString() : QStringLiteral("|!"));
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A small workbook written with libxlsxwriter: `build` fills the first sheet.
void writeWorkbook(const QString &path, const std::function<void(lxw_worksheet *)> &build)
{
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    QVERIFY(wb);
    lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
    build(ws);
    QCOMPARE(workbook_close(wb), LXW_NO_ERROR);
}

void header(lxw_worksheet *ws)
{
    worksheet_write_string(ws, 0, 0, "商圈编码", nullptr);
    worksheet_write_string(ws, 0, 1, "商圈名称", nullptr);
}

struct RunFixture
{
    AreaHostFake fake;
    AreaImportPlan plan;
    RunFixture(const QString &file)
    {
        fake.add(QStringLiteral("01"), QStringLiteral("东区"), 1, 0);
        fake.add(QStringLiteral("0101"), QStringLiteral("东一"), 2, 1);
        const Result<ImportRows> rows
            = AreaFileReader::readCsv((QStringLiteral("商圈编码,商圈名称\n") + file).toUtf8());
        QHash<QString, QString> existing;
        for (const AreaRow &r : fake.departmentRows())
            existing.insert(r.code, r.name);
        plan = AreaImportPlan::make(*rows, existing, fake.levels, TradeArea::NameWidth);
    }
    AreaImportRun run(bool updateNames)
    {
        return AreaImportRun(CoorDisp(CoorDispRef(fake.service.get())), fake.department, plan, updateNames);
    }
    QStringList stored() const
    {
        QStringList out;
        for (const AreaRow &r : fake.departmentRows())
            out << QStringLiteral("%1 %2 %3 %4").arg(r.code, r.name).arg(r.level).arg(r.leaf);
        return out;
    }
};

} // namespace

class TestAreaFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    static DataStore store(const QList<AreaRow> &rows)
    {
        Result<DataStore> s = Packet::decode(AreaHostFake::treePacket(rows));
        return std::move(*s);
    }

private Q_SLOTS:
    void treeOrder()
    {
        // Code order from the host; the orphan of level 2 sits beside the root,
        // after the root's own subtree; a level 0 row comes last.
        const QString d = QStringLiteral("0101");
        const DataStore s = store({ { d, QStringLiteral("00"), QStringLiteral("无级"), 0, 1 },
            { d, QStringLiteral("0001"), QStringLiteral("孤儿"), 2, 1 },
            { d, QStringLiteral("01"), QStringLiteral("东区"), 1, 0 },
            { d, QStringLiteral("0101"), QStringLiteral("东一"), 2, 1 },
            { d, QStringLiteral("02"), QStringLiteral("西区"), 1, 1 } });
        const Result<std::vector<AreaLine>> lines = AreaExport::linesInTreeOrder(s);
        QVERIFY2(lines, qPrintable(lines.error()));
        QStringList got;
        for (const AreaLine &l : *lines)
            got << QStringLiteral("%1 %2 %3 %4 %5").arg(l.code, l.name).arg(l.level).arg(l.leaf).arg(l.depth);
        QCOMPARE(got,
            (QStringList { QStringLiteral("01 东区 1 0 1"), QStringLiteral("0101 东一 2 1 2"),
                QStringLiteral("02 西区 1 1 1"), QStringLiteral("0001 孤儿 2 1 0"), QStringLiteral("00 无级 0 1 0") }));
    }

    void exportReadsBack_data()
    {
        QTest::addColumn<bool>("xlsx");
        QTest::newRow("csv") << false;
        QTest::newRow("xlsx") << true;
    }

    void exportReadsBack()
    {
        QFETCH(bool, xlsx);
        AreaSheet sheet;
        sheet.department = QStringLiteral("0101");
        sheet.codeLevels = QStringLiteral("[2]-[2]-[2]-[3]");
        sheet.areas = { { QStringLiteral("01"), QStringLiteral("东区, \"老城\""), 1, false, 1 },
            { QStringLiteral("0101"), QStringLiteral("东一\n二"), 2, false, 2 },
            { QStringLiteral("010100001"), QStringLiteral(" 空格 "), 3, true, 3 } };
        const QString file = path(xlsx ? QStringLiteral("out.xlsx") : QStringLiteral("out.csv"));
        const Status written = xlsx ? AreaExport::writeXlsx(sheet, file) : AreaExport::writeCsv(sheet, file);
        QVERIFY2(written, qPrintable(written.error()));
        if (!xlsx) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
            QVERIFY(bytes.contains(QStringLiteral("\"东区, \"\"老城\"\"\"").toUtf8()));
        }
        const Result<ImportRows> rows = AreaFileReader::read(file);
        QVERIFY2(rows, qPrintable(rows.error()));
        // The names come back trimmed, as the screen stores them; codes stay text.
        QCOMPARE(rowTexts(*rows).size(), 3);
        QCOMPARE((*rows)[0].code, QStringLiteral("01"));
        QCOMPARE((*rows)[0].name, QStringLiteral("东区, \"老城\""));
        QCOMPARE((*rows)[1].name, QStringLiteral("东一\n二"));
        QCOMPARE((*rows)[2].code, QStringLiteral("010100001"));
        QCOMPARE((*rows)[2].name, QStringLiteral("空格"));
        for (const ImportRow &r : *rows)
            QVERIFY(r.problem.isEmpty());
    }

    void exportCancelLeavesOldFile()
    {
        AreaSheet sheet;
        for (int i = 0; i < 10000; ++i)
            sheet.areas.push_back({ QStringLiteral("%1").arg(i + 10), QStringLiteral("名"), 1, true, 1 });
        for (bool xlsx : { false, true }) {
            const QString file = path(xlsx ? QStringLiteral("keep.xlsx") : QStringLiteral("keep.csv"));
            writeFile(file, "old");
            const auto stop = [](int done, int) { return done < 4096; };
            const Status s = xlsx ? AreaExport::writeXlsx(sheet, file, stop) : AreaExport::writeCsv(sheet, file, stop);
            QVERIFY(!s);
            QVERIFY(s.error().contains(QStringLiteral("取消")));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".keep")), QStringList());
        const Status s = AreaExport::writeCsv(sheet, path(QStringLiteral("gone/x.csv")));
        QVERIFY(s.error().contains(QStringLiteral("x.csv")));
    }

    void csvVariants_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        const QStringList two { QStringLiteral("3|01|东区"), QStringLiteral("4|0101|东一") };
        QTest::newRow("utf-8 with mark, comma, comment line above")
            << utf8Bom(QStringLiteral("# 部门\r\n商圈编码,商圈名称\r\n01,东区\r\n0101,东一\r\n")) << two;
        QTest::newRow("utf-8 without mark, semicolon, columns swapped, extra column")
            << QStringLiteral("x\n商圈名称;级别;商圈编码\n东区;1;01\n东一;2;0101\n").toUtf8() << two;
        QTest::newRow("gb18030, tab, field names") << QByteArray(
            QStringEncoder("GB18030").encode(QStringLiteral("说明\nf_SQMC\tf_sqbm\n东区\t01\n东一\t0101")))
                                                   << two;
        QTest::newRow("quoted line break and quote; blank rows skipped")
            << QStringLiteral("商圈编码,商圈名称\n\"01\",\"东\"\"区\"\"\n新\"\n,\n\n0101,东一\n").toUtf8()
            << QStringList { QStringLiteral("2|01|东\"区\"\n新"), QStringLiteral("6|0101|东一") };
    }

    void csvVariants()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        const QString file = path(QStringLiteral("in.csv"));
        writeFile(file, bytes);
        const Result<ImportRows> read = AreaFileReader::read(file);
        QVERIFY2(read, qPrintable(read.error()));
        QCOMPARE(rowTexts(*read), rows);
    }

    void xlsxCells()
    {
        // Shared strings (libxlsxwriter's own), an inline string, and a code
        // stored as a number, which is refused with its row.
        const QString file = path(QStringLiteral("cells.xlsx"));
        writeWorkbook(file, [](lxw_worksheet *ws) {
            worksheet_write_string(ws, 0, 0, "说明", nullptr);
            worksheet_write_string(ws, 1, 2, "商圈编码", nullptr);
            worksheet_write_string(ws, 1, 0, "商圈名称", nullptr);
            worksheet_write_string(ws, 2, 2, "01", nullptr);
            worksheet_write_string(ws, 2, 0, "东区", nullptr);
            worksheet_write_number(ws, 3, 2, 101, nullptr);
            worksheet_write_string(ws, 3, 0, "东一", nullptr);
        });
        Result<ImportRows> read = AreaFileReader::read(file);
        QVERIFY2(read, qPrintable(read.error()));
        QCOMPARE(rowTexts(*read), (QStringList { QStringLiteral("3|01|东区"), QStringLiteral("4|101|东一|!") }));
        QVERIFY((*read)[1].problem.contains(QStringLiteral("数字格式")));

        // Inline strings as other programs write them.
        const QByteArray sheet
            = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>f_sqbm</t></is></c>"
              "<c r=\"B1\" t=\"inlineStr\"><is><r><t>f_</t></r><r><t>sqmc</t></r></is></c></row>"
              "<row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>02</t></is></c>"
              "<c r=\"B2\" t=\"inlineStr\"><is><t>西区</t><rPh><t>xi</t></rPh></is></c></row>"
              "</sheetData></worksheet>";
        const Result<ImportRows> inl = readPatched(sheet);
        QVERIFY2(inl, qPrintable(inl.error()));
        QCOMPARE(rowTexts(*inl), (QStringList { QStringLiteral("2|02|西区") }));
    }

    // A workbook written by libxlsxwriter with its sheet replaced by `sheet`.
    Result<ImportRows> readPatched(const QByteArray &sheet)
    {
        const QString file = path(QStringLiteral("patched.xlsx"));
        if (!writePatched(file, sheet))
            return Error { QStringLiteral("zip") };
        return AreaFileReader::read(file);
    }

    bool writePatched(const QString &file, const QByteArray &sheet)
    {
        QFile::remove(file);
        writeWorkbook(file, [](lxw_worksheet *ws) { header(ws); });
        int error = 0;
        zip_t *archive = zip_open(QFile::encodeName(file).constData(), 0, &error);
        if (!archive)
            return false;
        zip_source_t *source = zip_source_buffer(archive, sheet.constData(), zip_uint64_t(sheet.size()), 0);
        return zip_file_add(archive, "xl/worksheets/sheet1.xml", source, ZIP_FL_OVERWRITE) >= 0
            && zip_close(archive) == 0;
    }

    void badFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("binary") << "binary" << QStringLiteral("不是文本文件");
        QTest::newRow("old xls") << "xls" << QStringLiteral(".xls");
        QTest::newRow("named xlsx, not a zip") << "fakexlsx" << QStringLiteral("不是Excel工作簿");
        QTest::newRow("damaged zip") << "damaged" << QStringLiteral("损坏");
        QTest::newRow("no code column") << "nocode" << QStringLiteral("商圈编码");
        QTest::newRow("no name column") << "noname" << QStringLiteral("商圈名称");
        QTest::newRow("a million rows") << "million" << QStringLiteral("超过200000行");
        QTest::newRow("10 MB cell, csv") << "bigcell" << QStringLiteral("超过4096个字符");
        QTest::newRow("10 MB cell, xlsx") << "bigcellxlsx" << QStringLiteral("超过4096个字符");
        QTest::newRow("formula") << "formula" << QStringLiteral("公式");
        QTest::newRow("merged cells") << "merged" << QStringLiteral("合并");
        QTest::newRow("unterminated quote") << "quote" << QStringLiteral("引号");
    }

    void badFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QString file = path(kind + QStringLiteral(".csv"));
        if (kind == QLatin1String("binary")) {
            writeFile(file, QByteArray("\x01\x00\x02\x03", 4).repeated(100));
        } else if (kind == QLatin1String("xls")) {
            writeFile(file, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, '\0'));
        } else if (kind == QLatin1String("fakexlsx")) {
            file = path(QStringLiteral("fake.xlsx"));
            writeFile(file, "商圈编码,商圈名称\n01,a\n");
        } else if (kind == QLatin1String("damaged")) {
            file = path(QStringLiteral("damaged.xlsx"));
            writeWorkbook(file, [](lxw_worksheet *ws) {
                header(ws);
                for (int r = 1; r < 2000; ++r)
                    worksheet_write_string(ws, lxw_row_t(r), 0, QByteArray::number(r + 1000).constData(), nullptr);
            });
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + 64; ++i)
                bytes[i] = char(bytes[i] ^ 0x5A);
            f.seek(0);
            f.write(bytes);
        } else if (kind == QLatin1String("nocode")) {
            writeFile(file, "名称,编码\n东区,01\n");
        } else if (kind == QLatin1String("noname")) {
            writeFile(file, "商圈编码,名称\n01,东区\n");
        } else if (kind == QLatin1String("million")) {
            QByteArray bytes = "商圈编码,商圈名称\n";
            bytes.reserve(12 * 1000000);
            for (int i = 0; i < 1000000; ++i)
                bytes += QByteArray::number(100000 + i) + ",a\n";
            writeFile(file, bytes);
        } else if (kind == QLatin1String("bigcell")) {
            writeFile(file, "商圈编码,商圈名称,备注\n01,东区," + QByteArray(10 * 1024 * 1024, 'x') + "\n");
        } else if (kind == QLatin1String("bigcellxlsx")) {
            file = path(QStringLiteral("bigcell.xlsx"));
            QVERIFY(writePatched(file,
                "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>商圈编码</t></is></c>"
                "<c r=\"B1\" t=\"inlineStr\"><is><t>商圈名称</t></is></c></row><row r=\"2\"><c r=\"B2\" "
                "t=\"inlineStr\"><is><t>"
                    + QByteArray(10 * 1024 * 1024, 'x') + "</t></is></c></row></sheetData></worksheet>"));
        } else if (kind == QLatin1String("formula")) {
            file = path(QStringLiteral("formula.xlsx"));
            writeWorkbook(file, [](lxw_worksheet *ws) {
                header(ws);
                worksheet_write_formula(ws, 1, 0, "=\"0\"&\"1\"", nullptr);
                worksheet_write_string(ws, 1, 1, "东区", nullptr);
            });
        } else if (kind == QLatin1String("merged")) {
            file = path(QStringLiteral("merged.xlsx"));
            writeWorkbook(file, [](lxw_worksheet *ws) {
                header(ws);
                worksheet_merge_range(ws, 1, 0, 2, 0, "01", nullptr);
                worksheet_write_string(ws, 1, 1, "东区", nullptr);
            });
        } else if (kind == QLatin1String("quote")) {
            writeFile(file, "商圈编码,商圈名称\n01,\"东区\n02,西区\n");
        }
        const Result<ImportRows> read = AreaFileReader::read(file);
        QVERIFY(!read);
        QVERIFY2(read.error().contains(message), qPrintable(read.error()));
        QVERIFY2(read.error().contains(QFileInfo(file).fileName()), qPrintable(read.error()));
    }

    void plan_data()
    {
        QTest::addColumn<QString>("levels");
        QTest::addColumn<QString>("file"); // CSV body under the header
        QTest::addColumn<QStringList>("verdicts"); // line code verdict-or-reason, in plan order
        // Stored: 01 东区, 0101 东一.
        QTest::newRow("shuffled file: parents first")
            << "2223"
            << "010201001,深\n0102,东二\n010201,东二一\n03,南区\n"
            << QStringList { "3 0102 N", "4 010201 N", "2 010201001 N", "5 03 N" };
        QTest::newRow("existing rows") << "2223"
                                       << "01,东区\n0101,东一新\n"
                                       << QStringList { "2 01 S", "3 0101 O" };
        QTest::newRow("every refusal") << "2223"
                                       << ",空\n1,一位\n01a,字母\n0101010010001,十三位\n04,\n05,"
                + QString(41, QChar(u'名'))
                + "\n06,甲\n06,乙\n"
                  "0701,无上级\n012,三位\n"
                                       << QStringList { "8 06 N", "2  商圈编码为空", "3 1 商圈编码只有1位",
                                              "4 01a 商圈编码只能是数字", "5 0101010010001 商圈编码超过12位",
                                              "6 04 商圈名称为空", "7 05 商圈名称超过40个字",
                                              "9 06 与第8行的商圈编码重复", "10 0701 上级商圈07既不在本部门",
                                              "11 012 商圈编码的长度不符合商圈分级" };
        QTest::newRow("child of a refused row is refused") << "2223"
                                                           << "08,\n0801,下级\n"
                                                           << QStringList { "2 08 商圈名称为空", "3 0801 上级商圈08" };
        QTest::newRow("level text not lengths: the longest known prefix")
            << "ABC"
            << "0102x,坏\n0102,东二\n010299,东二九\n7777,任意\n"
            << QStringList { "3 0102 N", "4 010299 N", "5 7777 N", "2 0102x 商圈编码只能是数字" };
    }

    void plan()
    {
        QFETCH(QString, levels);
        QFETCH(QString, file);
        QFETCH(QStringList, verdicts);
        const Result<ImportRows> rows
            = AreaFileReader::readCsv((QStringLiteral("商圈编码,商圈名称\n") + file).toUtf8());
        QVERIFY2(rows, qPrintable(rows.error()));
        const QHash<QString, QString> existing { { QStringLiteral("01"), QStringLiteral("东区") },
            { QStringLiteral("0101"), QStringLiteral("东一") } };
        const AreaImportPlan plan = AreaImportPlan::make(*rows, existing, levels, TradeArea::NameWidth);
        QStringList got;
        for (const PlanRow &r : plan.rows()) {
            const char *v[] = { "N", "S", "O", "" };
            const QString tail = r.verdict == PlanRow::Refused ? r.reason : QString::fromLatin1(v[r.verdict]);
            got << QStringLiteral("%1 %2 %3").arg(r.line).arg(r.code, tail);
        }
        QCOMPARE(got.size(), verdicts.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i].startsWith(verdicts[i]), qPrintable(got[i] + QStringLiteral(" / ") + verdicts[i]));
    }
    // The run ------------------------------------------------------------------

    void runStoresParentsFirst()
    {
        RunFixture f(QStringLiteral("010201,东二一\n0101,东一新\n0102,东二\n02,西区\n,空\n"));
        AreaImportRun run = f.run(true);
        while (!run.finished())
            run.step();
        QVERIFY(!run.stopped());
        QCOMPARE(f.stored(),
            (QStringList { "01 东区 1 0", "0101 东一新 2 1", "0102 东二 2 0", "010201 东二一 3 1", "02 西区 1 1" }));
        // Every new row: CheckAreaCode, then InsertArea with the level it answered.
        QCOMPARE(f.fake.service->count(DispCheckAreaCode), 3);
        QCOMPARE(f.fake.service->count(DispInsertArea), 3);
        QCOMPARE(f.fake.service->count(DispExecuteSql), 1);
        QCOMPARE(run.count(ImportOutcome::Stored), 3);
        QCOMPARE(run.count(ImportOutcome::Renamed), 1);
        QCOMPARE(run.count(ImportOutcome::Refused), 1);
        const QString csv = run.summaryCsv();
        QVERIFY(csv.startsWith(QStringLiteral("行号,商圈编码,商圈名称,结果,说明\r\n")));
        QVERIFY(csv.contains(QStringLiteral("6,,空,拒绝,商圈编码为空")));
    }

    // The codes and names are views of the file's text: the rows read, the plan
    // and the run may each outlive the others. What was freed is written over,
    // so a view left on it shows other text (and the sanitizer build stops).
    void textsLiveWithThePlanAndTheRun()
    {
        RunFixture f(QStringLiteral("02,\"西\"\"区\"\n0201,西一\n03,南区\n"));
        std::optional<AreaImportPlan> copy = f.plan;
        f.plan = AreaImportPlan();
        std::vector<QString> clobber(64, QString(256, QLatin1Char('x')));
        QCOMPARE(copy->size(), size_t(3));
        QCOMPARE(copy->row(0).name.toString(), QStringLiteral("西\"区"));
        QCOMPARE(copy->row(1).code.toString(), QStringLiteral("0201"));
        AreaImportRun run(CoorDisp(CoorDispRef(f.fake.service.get())), f.fake.department, *copy, false);
        copy.reset();
        clobber.assign(64, QString(256, QLatin1Char('y')));
        while (!run.finished())
            run.step();
        QVERIFY(!run.stopped());
        QCOMPARE(f.stored(),
            (QStringList { "01 东区 1 0", "0101 东一 2 1", "02 西\"区 1 0", "0201 西一 2 1", "03 南区 1 1" }));
    }

    void runWithoutRenameSkips()
    {
        RunFixture f(QStringLiteral("0101,东一新\n"));
        AreaImportRun run = f.run(false);
        while (!run.finished())
            run.step();
        QCOMPARE(f.stored(), (QStringList { "01 东区 1 0", "0101 东一 2 1" }));
        QCOMPARE(run.count(ImportOutcome::Skipped), 1);
        QCOMPARE(f.fake.service->count(DispExecuteSql), 0);
    }

    void runStopsAfterTheRowInHand_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("insert refused") << "refused";
        QTest::newRow("host throws") << "throws";
    }

    void runStopsAfterTheRowInHand()
    {
        QFETCH(QString, how);
        RunFixture f(QStringLiteral("02,西区\n03,南区\n04,北区\n05,中区\n"));
        AreaImportRun run = f.run(false);
        run.step();
        run.step();
        if (how == QLatin1String("cancel"))
            run.cancel();
        else if (how == QLatin1String("refused"))
            f.fake.service->once(DispInsertArea, FakeCoorDisp::fail(0, QVariantList { QStringLiteral("磁盘已满") }));
        else
            f.fake.service->once(DispInsertArea, FakeCoorDisp::throwing(QStringLiteral("自动化错误")));
        while (!run.finished())
            run.step();
        QVERIFY(run.stopped());
        QCOMPARE(f.stored(), (QStringList { "01 东区 1 0", "0101 东一 2 1", "02 西区 1 1", "03 南区 1 1" }));
        QCOMPARE(run.outcomes()[3].kind, ImportOutcome::NotRun);
        if (how == QLatin1String("cancel")) {
            QCOMPARE(run.outcomes()[2].kind, ImportOutcome::NotRun);
            QCOMPARE(run.stopReason(), QStringLiteral("用户取消了导入"));
        } else {
            QCOMPARE(run.outcomes()[2].kind, ImportOutcome::Refused);
            QVERIFY2(run.stopReason().contains(QStringLiteral("第4行")), qPrintable(run.stopReason()));
        }
    }

    void runCarriesOnPastACodeTakenMeanwhile()
    {
        RunFixture f(QStringLiteral("02,西区\n0201,西一\n03,南区\n"));
        f.fake.add(QStringLiteral("02"), QStringLiteral("别处加的")); // after the check, before the run
        AreaImportRun run = f.run(false);
        while (!run.finished())
            run.step();
        QVERIFY(!run.stopped());
        QCOMPARE(run.outcomes()[0].kind, ImportOutcome::Refused);
        QCOMPARE(run.outcomes()[0].message, QStringLiteral("商圈编码已经存在！"));
        QCOMPARE(run.outcomes()[1].kind, ImportOutcome::Refused); // its child is not tried
        QCOMPARE(run.outcomes()[2].kind, ImportOutcome::Stored);
        QCOMPARE(f.fake.service->count(DispCheckAreaCode), 2);
    }
};

QTEST_GUILESS_MAIN(TestAreaFiles)
#include "tst_areafiles.moc"
