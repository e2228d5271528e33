// The printed listing to PDF: writeReportPdf (both passes, text through ObjectText,
// clipped cells, repaired text maps) against a bare QPdfWriter loop that paints the
// same cells of the same pages with QPainter::drawText and plain frames. The rows
// come from a five-column dataset; the counter "pages" is the page count,
// "peak_mb" the resident memory the run added at its peak above the dataset (and
// what was resident before), "dataset_mb" what the dataset took. Run each side in a
// process of its own (--benchmark_filter) for peaks that are its own. At 10k and
// 100k rows, the floor run before and after ours (process CPU time); goal: at
// most 1.2x the bare loop.
#include "Goals.h"
#include "ReportListing.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace sqda;
using namespace sqda::report;

namespace {

struct Listing
{
    ClientDataSet rows;
    std::shared_ptr<const ReportLayout> layout;
    ReportVariables variables;

    double datasetMb = 0; // what filling the dataset added to resident memory

    explicit Listing(int count)
    {
        datasetMb = sqda::bench::datasetMb(rows, count);
        layout = std::make_shared<const ReportLayout>(
            buildGridReport(sqda::bench::listingGrid(count), {}, defaultListingPage(), fontTextMeasure(96)).value());
        variables.set(QStringLiteral("Title"), QStringLiteral("商圈档案查询"));
        variables.set(QStringLiteral("Date"), QStringLiteral("2026-12-10"));
        variables.set(QStringLiteral("Time"), QStringLiteral("08:15:00"));
        variables.set(QStringLiteral("Oper"), QStringLiteral("张三"));
    }
};

void BM_ReportPdf(benchmark::State &state)
{
    const Listing listing(int(state.range(0)));
    const DataSetReportSource source(listing.rows);
    QTemporaryDir dir;
    int pages = 0;
    const sqda::bench::PeakMemory peak;
    for (auto _ : state) {
        // Both passes: formatting is part of every run.
        const auto report = PreparedReport::prepare(listing.layout, source.rowCount());
        pages = report->pageCount();
        const Status written
            = writeReportPdf(*report, source, listing.variables, dir.filePath(QStringLiteral("a.pdf")));
        if (!written)
            state.SkipWithError(qPrintable(written.error()));
    }
    state.counters["pages"] = pages;
    state.counters["peak_mb"] = peak.aboveStartMb();
    state.counters["dataset_mb"] = listing.datasetMb;
}

// The floor: the same pages and cells, painted with drawText and drawRect only.
void BM_BarePdfLoop(benchmark::State &state)
{
    const Listing listing(int(state.range(0)));
    const DataSetReportSource source(listing.rows);
    const auto report = PreparedReport::prepare(listing.layout, source.rowCount());
    const ObjectText texts(source, listing.variables);
    QTemporaryDir dir;
    const sqda::bench::PeakMemory peak;
    for (auto _ : state) {
        QPdfWriter writer(dir.filePath(QStringLiteral("b.pdf")));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        const double scale = writer.logicalDpiX() / 96.0;
        QFont font = reportFont({});
        font.setPointSizeF(9 * 96.0 / writer.logicalDpiY());
        painter.setFont(font);
        for (int i = 0; i < report->pageCount(); ++i) {
            if (i > 0)
                writer.newPage();
            painter.resetTransform();
            painter.scale(scale, scale);
            const LayoutPage &set = listing.layout->pages[report->page(i).pageSet];
            for (const BandPlacement &p : report->placements(i)) {
                const Band *band = set.band(p.kind);
                if (!band)
                    continue;
                for (const ReportObject &o : band->objects) {
                    const QRect r = o.rect.translated(0, p.y);
                    painter.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, texts.text(o, p.row, report->numbers(i)));
                    if (o.frames)
                        painter.drawRect(r);
                }
            }
        }
    }
    state.counters["pages"] = report->pageCount();
    state.counters["peak_mb"] = peak.aboveStartMb();
    state.counters["dataset_mb"] = listing.datasetMb;
}
#define ONCE ->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime()
BENCHMARK(BM_BarePdfLoop)->Arg(10'000) ONCE;
BENCHMARK(BM_ReportPdf)->Arg(10'000) ONCE;
BENCHMARK(BM_ReportPdf)->Arg(100'000) ONCE;
BENCHMARK(BM_BarePdfLoop)->Arg(100'000) ONCE;
#undef ONCE

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_report_pdf", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const int n : { 10'000, 100'000 }) {
        const std::string ours = "BM_ReportPdf/" + std::to_string(n) + "/iterations:1/process_time";
        const std::string bare = "BM_BarePdfLoop/" + std::to_string(n) + "/iterations:1/process_time";
        if (reporter.ran(ours) && reporter.ran(bare))
            goals.atMost("PDF export / bare QPdfWriter loop, " + std::to_string(n) + " rows",
                reporter.ratio(reporter.cpu, ours, bare), 1.2, reporter.anyFailed({ ours, bare }));
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_report_pdf", "end");
    return goals.exitCode();
}
