// The report engine's first pass over a 100,000-row listing: generating the layout
// from a grid description and formatting it into pages, and walking every page's
// band placements as painting will. Reports the page count and the memory the
// prepared report holds per page (the goal is at most 1 KB a page).
#include "report/GridReport.h"
#include "report/PreparedReport.h"

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace sqda::report;

namespace {

constexpr int kRows = 100'000;

GridDescription listingGrid()
{
    GridDescription g;
    g.footerRowCount = 1;
    const char16_t *titles[] = { u"部门编码", u"商圈编码", u"商圈名称", u"级别", u"末级" };
    const int widths[] = { 80, 100, 220, 50, 50 };
    for (int i = 0; i < 5; ++i) {
        GridColumn c;
        c.field = i;
        c.title = QString::fromUtf16(titles[i]);
        c.width = widths[i];
        g.columns.push_back(c);
    }
    return g;
}

std::shared_ptr<const ReportLayout> listingLayout()
{
    auto built = buildGridReport(listingGrid(), {}, defaultListingPage());
    return std::make_shared<const ReportLayout>(std::move(built).value());
}

void BM_BuildLayout(benchmark::State &state)
{
    const GridDescription grid = listingGrid();
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

} // namespace

BENCHMARK_MAIN();
