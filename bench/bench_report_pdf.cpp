// The printed listing to PDF: writeReportPdf (formatting, text through ObjectText,
// clipped cells, repaired text maps, the file renamed into place) against a bare
// QPdfWriter loop that paints the same cells of the same pages, on the same page
// layout, with QPainter::drawText and plain frames. The rows come from a
// five-column dataset. At 10k and 100k rows the two sides take turns, the order
// swapped each turn, in process CPU time; goal: the median at most 1.2x the
// floor's. Counters: "pages", "pdf_kb" and "floor_kb" (the files' sizes),
// "peak_mb" and "floor_peak_mb" (the resident memory a side added at its peak,
// its largest turn), "dataset_mb" (what the dataset took).
#include "Goals.h"
#include "ReportListing.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/ObjectText.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "report/ReportPainter.h"

#include <QFile>
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

sqda::bench::Samples g_samples;

// The floor: the same pages and cells, painted with drawText and drawRect only.
bool writeBare(
    const Listing &listing, const ReportDataSource &source, const PreparedReport &report, const QString &path)
{
    const PageSetup &setup = listing.layout->page;
    QPdfWriter writer(path);
    writer.setPageLayout(
        QPageLayout(QPageSize(QSizeF(setup.paperWidth / 10.0, setup.paperHeight / 10.0), QPageSize::Millimeter),
            QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    const ObjectText texts(source, listing.variables);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const double scale = writer.logicalDpiX() / setup.logicalDpi;
    QFont font = reportFont({});
    font.setPointSizeF(9 * setup.logicalDpi / writer.logicalDpiY());
    painter.setFont(font);
    for (int i = 0; i < report.pageCount(); ++i) {
        if (i > 0 && !writer.newPage())
            return false;
        painter.resetTransform();
        painter.scale(scale, scale);
        const LayoutPage &set = listing.layout->pages[report.page(i).pageSet];
        const PageNumbers numbers = report.numbers(i);
        for (const BandPlacement &p : report.placements(i)) {
            const Band *band = set.band(p.kind);
            if (!band)
                continue;
            for (const ReportObject &o : band->objects) {
                const QRect r = o.rect.translated(0, p.y);
                painter.drawText(r, Qt::AlignVCenter | Qt::AlignLeft, texts.text(o, p.row, numbers));
                if (o.frames)
                    painter.drawRect(r);
            }
        }
    }
    return painter.end();
}

void BM_ReportPdf(benchmark::State &state)
{
    const int n = int(state.range(0));
    const Listing listing(n);
    const DataSetReportSource source(listing.rows);
    // The floor paints pages formatted beforehand; ours formats in every turn.
    const auto floorReport = PreparedReport::prepare(listing.layout, source.rowCount());
    QTemporaryDir dir;
    const QString ourFile = dir.filePath(QStringLiteral("a.pdf")), bareFile = dir.filePath(QStringLiteral("b.pdf"));
    const std::string size = sqda::bench::spaced(n);
    int pages = 0;
    double peakMb = 0, floorPeakMb = 0;
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto ours = [&] {
            const sqda::bench::PeakMemory peak;
            Status written;
            const double t0 = sqda::bench::processCpuNow();
            const auto report = PreparedReport::prepare(listing.layout, source.rowCount());
            if (report)
                written = writeReportPdf(*report, source, listing.variables, ourFile);
            const double spent = sqda::bench::processCpuNow() - t0;
            t += spent;
            g_samples.add("pdf" + size, spent);
            peakMb = std::max(peakMb, peak.aboveStartMb());
            if (!report || !written)
                state.SkipWithError(qPrintable(report ? written.error() : report.error()));
            else
                pages = report->pageCount();
        };
        const auto floor = [&] {
            const sqda::bench::PeakMemory peak;
            const double t0 = sqda::bench::processCpuNow();
            const bool written = floorReport && writeBare(listing, source, *floorReport, bareFile);
            const double spent = sqda::bench::processCpuNow() - t0;
            t += spent;
            g_samples.add("pdf floor" + size, spent);
            floorPeakMb = std::max(floorPeakMb, peak.aboveStartMb());
            if (!written)
                state.SkipWithError("the bare QPdfWriter loop failed");
        };
        floorFirst ? (floor(), ours()) : (ours(), floor());
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    state.counters["pages"] = pages;
    state.counters["pdf_kb"] = double(QFile(ourFile).size()) / 1024;
    state.counters["floor_kb"] = double(QFile(bareFile).size()) / 1024;
    state.counters["peak_mb"] = peakMb;
    state.counters["floor_peak_mb"] = floorPeakMb;
    state.counters["dataset_mb"] = listing.datasetMb;
}
// A turn at 100k rows is some 25 s of processor time for both sides together.
BENCHMARK(BM_ReportPdf)->Arg(10'000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportPdf)->Arg(100'000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

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
        const std::string name
            = "BM_ReportPdf/" + std::to_string(n) + "/iterations:" + (n == 10'000 ? "5" : "3") + "/manual_time";
        if (!reporter.ran(name))
            continue;
        const std::string size = sqda::bench::spaced(n);
        const double ours = g_samples.median("pdf" + size), floor = g_samples.median("pdf floor" + size);
        sqda::bench::Goals::note(
            "PDF export, %d rows: %.1f ms, floor %.1f ms (process CPU, median)", n, ours * 1e3, floor * 1e3);
        goals.atMost("PDF export / bare QPdfWriter loop, " + std::to_string(n) + " rows", floor > 0 ? ours / floor : 0,
            1.2, reporter.anyFailed({ name }));
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_report_pdf", "end");
    return goals.exitCode();
}
