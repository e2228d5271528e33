// The report engine's Core work over a 100,000-row listing: generating the layout
// from a grid description and formatting it into pages, walking every page's band
// placements as painting will, the spreadsheet export, and saving and loading the
// prepared report. Reports the page count, the memory the prepared report holds per
// page (the goal is at most 1 KB a page) and the peak memory of the export.
// The spreadsheet export of 10k and 100k rows is timed against a bare
// libxlsxwriter loop writing the same cells from the same dataset, set up the
// same way (constant-memory mode, its row files beside the target), the two in
// turns (process CPU time; goal at most 1.2x). Saving the prepared report with
// its rows and loading it again, at the same sizes, against the same cells
// through a compressed QDataStream written with QSaveFile and read back (goal at
// most 1.2x).
#include "Goals.h"
#include "ReportListing.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFile.h"
#include "report/XlsxExport.h"

#include <QDataStream>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

using namespace sqda;
using namespace sqda::report;
using sqda::bench::listingGrid;

namespace {

constexpr int kRows = 100'000;

sqda::bench::Samples g_samples;

std::shared_ptr<const ReportLayout> listingLayout()
{
    auto built = buildGridReport(listingGrid(kRows), {}, defaultListingPage());
    return std::make_shared<const ReportLayout>(std::move(built).value());
}

void BM_BuildLayout(benchmark::State &state)
{
    const GridDescription grid = listingGrid(kRows);
    for (auto _ : state) {
        auto layout = buildGridReport(grid, {}, defaultListingPage());
        benchmark::DoNotOptimize(layout);
    }
}
BENCHMARK(BM_BuildLayout)->Unit(benchmark::kMicrosecond);

void BM_PrepareListing(benchmark::State &state)
{
    const auto layout = listingLayout();
    int pages = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        auto report = PreparedReport::prepare(layout, kRows);
        pages = report->pageCount();
        bytes = report->memoryBytes();
        benchmark::DoNotOptimize(report);
    }
    state.counters["pages"] = pages;
    state.counters["bytes_per_page"] = double(bytes) / pages;
}
BENCHMARK(BM_PrepareListing)->Unit(benchmark::kMicrosecond);

void BM_PlaceEveryPage(benchmark::State &state)
{
    const auto report = PreparedReport::prepare(listingLayout(), kRows);
    for (auto _ : state) {
        qint64 rows = 0;
        for (int p = 0; p < report->pageCount(); ++p)
            rows += qint64(report->placements(p).size());
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_PlaceEveryPage)->Unit(benchmark::kMillisecond);

// 100,000 rows × 5 columns to .xlsx, once, for its memory. "peak_mb" is the
// resident memory above what the dataset and the prepared report already hold:
// constant-memory mode keeps it flat however long the listing.
void BM_ExportXlsx(benchmark::State &state)
{
    ClientDataSet rows;
    const double dataset = sqda::bench::datasetMb(rows, int(state.range(0)));
    const DataSetReportSource source(rows);
    const auto report = PreparedReport::prepare(listingLayout(), source.rowCount());
    ReportVariables variables;
    variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
    QTemporaryDir dir;
    const sqda::bench::PeakMemory peak;
    for (auto _ : state) {
        const Status done = exportListingXlsx(*report, source, variables, dir.filePath(QStringLiteral("a.xlsx")));
        if (!done)
            state.SkipWithError(qPrintable(done.error()));
    }
    state.counters["peak_mb"] = peak.aboveStartMb();
    state.counters["dataset_mb"] = dataset;
    state.counters["file_kb"] = double(QFileInfo(dir.filePath(QStringLiteral("a.xlsx"))).size()) / 1024;
}
BENCHMARK(BM_ExportXlsx)->Arg(kRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The floor: the same cells from the same dataset, texts as UTF-8 strings and
// numbers as numbers, the column widths and the title row, nothing else.
bool bareXlsx(const ReportDataSource &source, int columns, const QString &path, const QString &dir)
{
    QByteArray tmpDir = QFile::encodeName(dir);
    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpDir.data();
    lxw_workbook *workbook = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!workbook)
        return false;
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, "商圈档案查询");
    const int widths[] = { 80, 100, 220, 50, 50 };
    const char *titles[] = { "部门编码", "商圈编码", "商圈名称", "级别", "末级" };
    for (int c = 0; c < columns; ++c) {
        worksheet_set_column_pixels(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
        worksheet_write_string(sheet, 0, lxw_col_t(c), titles[c], nullptr);
    }
    lxw_row_t row = 1;
    bool ok = true;
    for (int r = 0; r < source.rowCount(); ++r, ++row) {
        for (int c = 0; c < columns; ++c) {
            const QVariant v = source.value(r, c);
            if (v.typeId() == QMetaType::Int)
                ok = worksheet_write_number(sheet, row, lxw_col_t(c), v.toDouble(), nullptr) == LXW_NO_ERROR && ok;
            else
                ok = worksheet_write_string(sheet, row, lxw_col_t(c), v.toString().toUtf8().constData(), nullptr)
                        == LXW_NO_ERROR
                    && ok;
        }
    }
    const QByteArray footer = QStringLiteral("合计:%1条").arg(source.rowCount()).toUtf8();
    worksheet_write_string(sheet, row, 0, footer.constData(), nullptr);
    return workbook_close(workbook) == LXW_NO_ERROR && ok;
}

void BM_ExportXlsxVsBare(benchmark::State &state)
{
    const int n = int(state.range(0));
    ClientDataSet rows;
    sqda::bench::fillListing(rows, n);
    const DataSetReportSource source(rows);
    const auto report = PreparedReport::prepare(
        std::make_shared<const ReportLayout>(buildGridReport(listingGrid(n), {}, defaultListingPage()).value()),
        source.rowCount());
    ReportVariables variables;
    variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
    QTemporaryDir dir;
    const std::string ours = "export " + std::to_string(n), floor = "bare " + std::to_string(n);
    bool bareFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto bare = [&] {
            const double t0 = sqda::bench::processCpuNow();
            if (!bareXlsx(source, 5, dir.filePath(QStringLiteral("b.xlsx")), dir.path()))
                state.SkipWithError("the bare loop failed");
            const double spent = sqda::bench::processCpuNow() - t0;
            g_samples.add(floor, spent);
            t += spent;
        };
        const auto product = [&] {
            const double t0 = sqda::bench::processCpuNow();
            const Status done = exportListingXlsx(*report, source, variables, dir.filePath(QStringLiteral("a.xlsx")));
            const double spent = sqda::bench::processCpuNow() - t0;
            if (!done)
                state.SkipWithError(qPrintable(done.error()));
            g_samples.add(ours, spent);
            t += spent;
        };
        if (bareFirst) {
            bare();
            product();
        } else {
            product();
            bare();
        }
        bareFirst = !bareFirst;
        state.SetIterationTime(t);
    }
    state.counters["file_kb"] = double(QFileInfo(dir.filePath(QStringLiteral("a.xlsx"))).size()) / 1024;
    state.counters["bare_file_kb"] = double(QFileInfo(dir.filePath(QStringLiteral("b.xlsx"))).size()) / 1024;
}
BENCHMARK(BM_ExportXlsxVsBare)->Arg(10'000)->Iterations(9)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_ExportXlsxVsBare)->Arg(kRows)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

// The floor of saving and loading: the same cells (every printed column's
// display text) through QDataStream, compressed, written with QSaveFile and read
// back into strings.
bool bareSaveLoad(const ReportDataSource &source, int columns, const QString &path)
{
    QByteArray raw;
    {
        QDataStream out(&raw, QIODevice::WriteOnly);
        out << qint32(source.rowCount()) << qint32(columns);
        for (int r = 0; r < source.rowCount(); ++r)
            for (int c = 0; c < columns; ++c)
                out << source.displayText(r, c);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(qCompress(raw)) < 0 || !file.commit())
        return false;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray back = qUncompress(in.readAll());
    QDataStream read(back);
    qint32 rows = 0, cols = 0;
    read >> rows >> cols;
    std::vector<QString> cells(size_t(rows) * size_t(cols));
    for (QString &cell : cells)
        read >> cell;
    return read.status() == QDataStream::Ok && rows == source.rowCount();
}

void BM_SaveLoadVsBare(benchmark::State &state)
{
    const int n = int(state.range(0));
    ClientDataSet rows;
    sqda::bench::fillListing(rows, n);
    const DataSetReportSource source(rows);
    const auto report = PreparedReport::prepare(
        std::make_shared<const ReportLayout>(buildGridReport(listingGrid(n), {}, defaultListingPage()).value()),
        source.rowCount());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.sqdarpt")), barePath = dir.filePath(QStringLiteral("b.bin"));
    const std::string ours = "save+load" + sqda::bench::spaced(n), floor = "bare save+load" + sqda::bench::spaced(n);
    bool bareFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto bare = [&] {
            const double t0 = sqda::bench::processCpuNow();
            if (!bareSaveLoad(source, 5, barePath))
                state.SkipWithError("the bare save and load failed");
            const double spent = sqda::bench::processCpuNow() - t0;
            g_samples.add(floor, spent);
            t += spent;
        };
        const auto product = [&] {
            const double t0 = sqda::bench::processCpuNow();
            const Status saved = saveReport(*report, source, ReportVariables(), path);
            const auto loaded = loadReport(path);
            const double spent = sqda::bench::processCpuNow() - t0;
            if (!saved || !loaded || loaded.value().rows->rowCount() != n)
                state.SkipWithError("save or load failed");
            g_samples.add(ours, spent);
            t += spent;
        };
        if (bareFirst) {
            bare();
            product();
        } else {
            product();
            bare();
        }
        bareFirst = !bareFirst;
        state.SetIterationTime(t);
    }
    state.counters["file_kb"] = double(QFileInfo(path).size()) / 1024;
    state.counters["bare_file_kb"] = double(QFileInfo(barePath).size()) / 1024;
}
BENCHMARK(BM_SaveLoadVsBare)->Arg(10'000)->Iterations(9)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SaveLoadVsBare)->Arg(kRows)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_report", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const auto &[n, iterations] : { std::pair { 10'000, 9 }, std::pair { kRows, 5 } }) {
        const std::string name
            = "BM_ExportXlsxVsBare/" + std::to_string(n) + "/iterations:" + std::to_string(iterations) + "/manual_time";
        if (!reporter.ran(name))
            continue;
        const std::string ours = "export " + std::to_string(n), floor = "bare " + std::to_string(n);
        sqda::bench::Goals::note("spreadsheet export, %d rows: %.1f ms, bare libxlsxwriter loop %.1f ms (process CPU, "
                                 "medians)",
            n, g_samples.median(ours) * 1e3, g_samples.median(floor) * 1e3);
        goals.atMost("spreadsheet export / bare libxlsxwriter loop, " + std::to_string(n) + " rows",
            g_samples.median(floor) > 0 ? g_samples.median(ours) / g_samples.median(floor) : 0, 1.2,
            reporter.anyFailed({ name }));
    }
    for (const auto &[n, iterations] : { std::pair { 10'000, 9 }, std::pair { kRows, 5 } }) {
        const std::string name
            = "BM_SaveLoadVsBare/" + std::to_string(n) + "/iterations:" + std::to_string(iterations) + "/manual_time";
        if (!reporter.ran(name))
            continue;
        const std::string ours = "save+load" + sqda::bench::spaced(n),
                          floor = "bare save+load" + sqda::bench::spaced(n);
        sqda::bench::Goals::note("prepared report saved and loaded, %d rows: %.1f ms, bare QDataStream %.1f ms "
                                 "(process CPU, medians)",
            n, g_samples.median(ours) * 1e3, g_samples.median(floor) * 1e3);
        goals.atMost("prepared report save + load / bare compressed QDataStream, " + std::to_string(n) + " rows",
            g_samples.median(floor) > 0 ? g_samples.median(ours) / g_samples.median(floor) : 0, 1.2,
            reporter.anyFailed({ name }));
    }
    if (reporter.ran("BM_PrepareListing")) {
        const double perPage = reporter.counter("BM_PrepareListing", "bytes_per_page");
        goals.atMost("prepared report memory per page / 1 KB, 100000 rows", perPage / 1024, 1.0,
            reporter.anyFailed({ "BM_PrepareListing" }));
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_report", "end");
    return goals.exitCode();
}
