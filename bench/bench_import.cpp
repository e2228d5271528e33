// The trade-area hierarchy in and out of files, each goal against a floor doing
// the same work bare, measured in one run, set up the same way, the two taking
// turns; time is the process's processor time (every thread):
//   import N rows (10,000 and 100,000) through the reference host on SQLite, the
//     import's run (CheckAreaCode, then InsertArea, row by row), against the
//     same two calls in a bare loop on a fresh database of its own (<= 1.2);
//   the check of N rows (read the file, verdicts, the check dialog shown and
//     its first paint on the screen), against reading the same file bare:
//     libzip and the XML reader alone for a spreadsheet (10,000 and 100,000
//     rows), a plain line split for CSV (100,000 and 200,000 rows) (<= 2);
//   the spreadsheet export of N areas (10,000 and 100,000) against a bare
//     libxlsxwriter loop writing the same cells (<= 1.2).
// Goal lines through Goals.h: "<what>: <ratio> (goal <= <limit>)", FAILED when
// the work failed, the exit code from the goals. `bench_import <part of a goal's
// name>` runs only the goals whose names contain it.
#include "Goals.h"

#include "core/SqlDataService.h"
#include "data/DataStore.h"
#include "data/Packet.h"
#include "host/CoorDisp.h"
#include "tradearea/AreaExport.h"
#include "tradearea/AreaFileReader.h"
#include "tradearea/AreaImportPlan.h"
#include "tradearea/AreaImportRun.h"
#include "tradearea/ImportCheckDialog.h"
#include "tradearea/TradeArea.h"

#include <sqda/ICoorDisp.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace sqda;

namespace {

const QString Department = QStringLiteral("0301"); // 2-2-2-2 in the demo chain, no areas

sqda::bench::Goals g_goals;
QByteArray g_only; // a part of the goals' names to run alone, from the command line

bool wanted(const std::string &what)
{
    return g_only.isEmpty() || QByteArray::fromStdString(what).contains(g_only);
}

// Ours against the floor, both in seconds; `ok` false when either side's work failed.
void goal(const std::string &what, double work, double floor, double limit, bool ok)
{
    sqda::bench::Goals::note("%s: ours %.1f ms, floor %.1f ms", what.c_str(), work * 1e3, floor * 1e3);
    g_goals.atMost(what, floor > 0 ? work / floor : 0, limit, !ok);
}

// The process's processor time of `work`; `ok` turns false when the work fails.
double seconds(const std::function<bool()> &work, bool *ok)
{
    const double start = sqda::bench::processCpuNow();
    *ok = work() && *ok;
    return sqda::bench::processCpuNow() - start;
}

// Areas in tree order, every parent first: 2-digit parts on three levels.
ImportRows rows(int count)
{
    ImportRows out;
    out.reserve(size_t(count));
    int n = 0;
    const auto add = [&](const QString &code) {
        if (n < count) {
            out.add(n + 2, code, QStringLiteral("商圈") + code);
            ++n;
        }
    };
    for (int a = 10; a < 100 && n < count; ++a) {
        const QString ca = QString::number(a);
        add(ca);
        for (int b = 10; b < 100 && n < count; ++b) {
            const QString cb = ca + QString::number(b);
            add(cb);
            for (int c = 10; c < 100; ++c)
                add(cb + QString::number(c));
        }
    }
    return out;
}

// A fresh reference-host database and a service on it, outside the timed region.
kalmora::SqlDataService::Ptr freshService(const QString &dir, const QString &name)
{
    QString error;
    auto service
        = kalmora::SqlDataService::open(QStringLiteral("sqlite:") + dir + QLatin1Char('/') + name, Department, &error);
    if (!service)
        std::fprintf(stderr, "host: %s\n", qPrintable(error));
    return service;
}

QByteArray insertPacket(const QString &code, const QString &name, int level)
{
    DataStore s(TradeArea::fieldDefs());
    const FieldDefs &defs = s.defs();
    for (int c = 0; c < defs.size(); ++c) {
        const QString &f = defs[c].name;
        if (f == QLatin1String("f_bmbm"))
            s.appendString(c, Department);
        else if (f == QLatin1String("f_sqbm"))
            s.appendString(c, code);
        else if (f == QLatin1String("f_sqmc"))
            s.appendString(c, name);
        else if (f == QLatin1String("f_jb"))
            s.appendInt(c, level);
        else
            s.appendInt(c, 1);
    }
    s.commitRow();
    return Packet::encode(s);
}

void importGoal(const std::string &what, int count, const QString &dir)
{
    const ImportRows file = rows(count);
    const AreaImportPlan plan = AreaImportPlan::make(file, {}, QStringLiteral("2222"), TradeArea::NameWidth);
    bool ok = plan.count(PlanRow::New) == count;
    // The bare loop's strings, as its caller would hold them: made outside the timed region.
    std::vector<QString> codes, names;
    for (const ImportRow &r : file) {
        codes.push_back(r.code.toString());
        names.push_back(r.name.toString());
    }

    if (dir.isEmpty()) {
        goal(what, 0, 0, 1.2, false);
        return;
    }
    auto floorService = freshService(dir, QStringLiteral("floor%1.sqlite").arg(count));
    auto importService = freshService(dir, QStringLiteral("import%1.sqlite").arg(count));
    if (!floorService || !importService) {
        goal(what, 0, 0, 1.2, false);
        return;
    }
    // Alternating chunks of the two, so that a machine shared with other work
    // weighs on both sides alike.
    constexpr int Chunk = 1000;
    AreaImportRun run(CoorDisp(CoorDispRef(importService.get())), Department, plan, false);
    double floor = 0, work = 0;
    for (int from = 0; from < count && ok; from += Chunk) {
        const int to = std::min(count, from + Chunk);
        floor += seconds(
            [&] {
                for (int i = from; i < to; ++i) {
                    const QString &code = codes[size_t(i)];
                    QVariantList check { QVariant(QVariantList { Department, code }) };
                    if (!floorService->Invoke(DispCheckAreaCode, check).toBool())
                        return false;
                    const int level = check.value(0).toList().value(1).toInt();
                    QVariantList insert { insertPacket(code, names[size_t(i)], level) };
                    if (!floorService->Invoke(DispInsertArea, insert).toBool())
                        return false;
                }
                return true;
            },
            &ok);
        work += seconds(
            [&] {
                while (run.done() < to && !run.finished())
                    run.step();
                return !run.stopped();
            },
            &ok);
    }
    ok = ok && run.count(ImportOutcome::Stored) == count;
    goal(what, work, floor, 1.2, ok);
}

// Reading a spreadsheet bare: the parts unpacked with libzip, every XML token read.
bool readXlsxBare(const QString &path, int *cells)
{
    int error = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!z)
        return false;
    *cells = 0;
    for (const char *part : { "xl/workbook.xml", "xl/sharedStrings.xml", "xl/worksheets/sheet1.xml" }) {
        zip_stat_t st;
        if (zip_stat(z, part, 0, &st) != 0)
            continue;
        QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
        zip_file_t *f = zip_fopen(z, part, 0);
        if (!f || zip_fread(f, bytes.data(), st.size) != zip_int64_t(st.size)) {
            zip_discard(z);
            return false;
        }
        zip_fclose(f);
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::Characters)
                ++*cells;
        if (xml.hasError()) {
            zip_discard(z);
            return false;
        }
    }
    zip_discard(z);
    return true;
}

bool readCsvBare(const QString &path, int *cells)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(f.readAll());
    *cells = 0;
    for (QStringView line : QStringView(text).split(u'\n'))
        *cells += int(line.split(u',').size());
    return true;
}

// Counts the paint events of the rows' viewport: a figure that claims a painted
// dialog must have painted its rows.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The check as a user waits for it: the file read, the verdicts, the check
// dialog shown and painted.
bool checkWithDialog(const QString &path, int expected, double parts[3])
{
    double at = sqda::bench::processCpuNow();
    const auto lap = [&at](double &part) {
        const double now = sqda::bench::processCpuNow();
        part += now - at;
        at = now;
    };
    Result<ImportRows> read = AreaFileReader::read(path);
    if (!read || int(read->size()) != expected)
        return false;
    lap(parts[0]);
    const AreaImportPlan plan
        = AreaImportPlan::make(std::move(*read), {}, QStringLiteral("2222"), TradeArea::NameWidth);
    lap(parts[1]);
    ImportCheckDialog dialog(plan, QFileInfo(path).fileName());
    PaintCounter painted;
    dialog.view()->viewport()->installEventFilter(&painted);
    dialog.show();
    // The first paint on the screen, as the user waits for it (the window's
    // expose); a grab() would paint it a second time.
    QApplication::processEvents();
    lap(parts[2]);
    return painted.paints > 0 && plan.count(PlanRow::New) == expected;
}

// `asGoal` false: the figure is printed as a plain line, not a goal.
void checkGoal(const std::string &what, const QString &path, int count, bool xlsx, bool asGoal = true)
{
    bool ok = !path.isEmpty();
    int cells = 0;
    // The best of a few alternating turns of each: a short job on a shared machine.
    const int turns = count > 10000 ? (xlsx ? 5 : 7) : 9;
    double floor = 1e9, work = 1e9;
    double parts[3] = { 0, 0, 0 };
    for (int turn = 0; turn < turns && ok; ++turn) {
        floor = std::min(
            floor, seconds([&] { return xlsx ? readXlsxBare(path, &cells) : readCsvBare(path, &cells); }, &ok));
        work = std::min(work, seconds([&] { return checkWithDialog(path, count, parts); }, &ok));
    }
    if (qEnvironmentVariableIsSet("BENCH_IMPORT_PARTS"))
        std::fprintf(stderr, "%s: floor %.1f ms; mean of %d turns: read %.1f ms, plan %.1f ms, dialog %.1f ms\n",
            what.c_str(), floor * 1e3, turns, parts[0] / turns * 1e3, parts[1] / turns * 1e3, parts[2] / turns * 1e3);
    if (asGoal)
        goal(what, work, floor, 2.0, ok && cells > 0);
    else
        sqda::bench::Goals::note("%s (not a goal): ours %.1f ms, floor %.1f ms, %.2f", what.c_str(), work * 1e3,
            floor * 1e3, ok && cells > 0 && floor > 0 ? work / floor : 0.0);
}

bool bareXlsx(const AreaSheet &sheet, const QString &path)
{
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *wb = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!wb)
        return false;
    lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
    worksheet_write_string(ws, 0, 0, "部门编码", nullptr);
    worksheet_write_string(ws, 0, 1, sheet.department.toUtf8().constData(), nullptr);
    worksheet_write_string(ws, 1, 0, "商圈分级情况", nullptr);
    worksheet_write_string(ws, 1, 1, sheet.codeLevels.toUtf8().constData(), nullptr);
    lxw_row_t row = 3;
    const char *titles[] = { "商圈编码", "商圈名称", "级别", "末级" };
    for (lxw_col_t c = 0; c < 4; ++c)
        worksheet_write_string(ws, row, c, titles[c], nullptr);
    ++row;
    for (const AreaLine &a : sheet.areas) {
        worksheet_write_string(ws, row, 0, a.code.toUtf8().constData(), nullptr);
        worksheet_write_string(ws, row, 1, a.name.toUtf8().constData(), nullptr);
        worksheet_write_number(ws, row, 2, a.level, nullptr);
        worksheet_write_string(ws, row, 3, a.leaf ? "是" : "否", nullptr);
        ++row;
    }
    return workbook_close(wb) == LXW_NO_ERROR;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        g_only = argv[1];
    sqda::bench::printLoad("bench_import", "start");
    // Memory-backed when the machine has it, for both sides alike: the disk's
    // flush per transaction would measure the disk, not the import.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir dir(base + QStringLiteral("/bench_import.XXXXXX"));

    // The spreadsheet's goals at 10k and 100k rows; the CSV check's at 100k and
    // at the most a file may have (200k): at 10k the floor is about a
    // millisecond and the dialog's own making (about 4 ms, the same for any
    // size) is the figure, printed as a plain line.
    for (const int n : { 10000, 100000, AreaFileReader::MaxRows }) {
        const std::string size = std::to_string(n);
        const bool small = n <= 10000, large = n > 100000;
        const std::string exportGoal = "spreadsheet export of " + size + " areas against bare libxlsxwriter";
        const std::string xlsxGoal = "check of " + size + " rows from a spreadsheet against libzip and the XML reader";
        const std::string csvGoal = "check of " + size + " rows from CSV against a plain line split";
        const bool doExport = !large && wanted(exportGoal), doXlsx = !large && wanted(xlsxGoal),
                   doCsv = wanted(csvGoal);
        if (!doExport && !doXlsx && !doCsv)
            continue;
        // The files of the check and the export, written before anything is timed.
        AreaSheet sheet;
        sheet.department = Department;
        sheet.codeLevels = QStringLiteral("[2]-[2]-[2]-[2]");
        for (const ImportRow &r : rows(n))
            sheet.areas.push_back({ r.code.toString(), r.name.toString(), int(r.code.size() / 2), r.code.size() == 6,
                int(r.code.size() / 2) });
        const QString xlsx = dir.filePath(QStringLiteral("areas%1.xlsx").arg(n));
        const QString csv = dir.filePath(QStringLiteral("areas%1.csv").arg(n));
        const bool filesOk
            = dir.isValid() && AreaExport::writeXlsx(sheet, xlsx).ok() && AreaExport::writeCsv(sheet, csv).ok();
        if (!filesOk)
            std::fprintf(stderr, "the files of %d rows could not be written in %s\n", n, qPrintable(dir.path()));

        if (doExport) {
            bool ok = filesOk;
            double floor = 1e9, work = 1e9;
            for (int turn = 0; turn < (n > 10000 ? 2 : 3) && ok; ++turn) {
                floor = std::min(
                    floor, seconds([&] { return bareXlsx(sheet, dir.filePath(QStringLiteral("bare.xlsx"))); }, &ok));
                work = std::min(work,
                    seconds(
                        [&] { return AreaExport::writeXlsx(sheet, dir.filePath(QStringLiteral("export.xlsx"))).ok(); },
                        &ok));
            }
            goal(exportGoal, work, floor, 1.2, ok);
        }
        if (doXlsx)
            checkGoal(xlsxGoal, filesOk ? xlsx : QString(), n, true);
        if (doCsv)
            checkGoal(csvGoal, filesOk ? csv : QString(), n, false, !small);
    }
    for (const int n : { 10000, 100000 }) {
        const std::string what = "import of " + std::to_string(n)
            + " rows through the host on SQLite against bare CheckAreaCode + InsertArea";
        if (wanted(what))
            importGoal(what, n, dir.isValid() ? dir.path() : QString());
    }
    sqda::bench::printLoad("bench_import", "end");
    return g_goals.exitCode();
}
