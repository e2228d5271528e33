// The report engine's Core work over a 100,000-row listing: generating the layout
// from a grid description and formatting it into pages, walking every page's band
// placements as painting will, the spreadsheet export, and saving and loading the
// prepared report. Reports the page count, the memory the prepared report holds per
// page (the goal is at most 1 KB a page) and the peak memory of the export.
#include "ReportListing.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFile.h"
#include "report/XlsxExport.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace sqda;
using namespace sqda::report;
using sqda::bench::listingGrid;

namespace {

constexpr int kRows = 100'000;

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

// 100,000 rows × 5 columns to .xlsx (the goal is at most 1 s). "peak_mb" is the
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
BENCHMARK(BM_ExportXlsx)->Arg(kRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// Saving the prepared report with its rows, and loading it again.
void BM_SaveLoadReport(benchmark::State &state)
{
    ClientDataSet rows;
    sqda::bench::fillListing(rows, kRows);
    const DataSetReportSource source(rows);
    const auto report = PreparedReport::prepare(listingLayout(), source.rowCount());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.sqdarpt"));
    for (auto _ : state) {
        const Status saved = saveReport(*report, source, ReportVariables(), path);
        const auto loaded = loadReport(path);
        if (!saved || !loaded)
            state.SkipWithError("save or load failed");
        benchmark::DoNotOptimize(loaded);
    }
    state.counters["file_kb"] = double(QFileInfo(path).size()) / 1024;
}
BENCHMARK(BM_SaveLoadReport)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
