// The query form's preview of a 100,000-row listing: from the call of
// PreviewListing on a real grid to the first page rendered in the preview window
// (the grid read, the layout generated, both formatting passes, the window built
// and shown, page 1 painted), printed as a plain time (it was to stay under 0.3 s).
//
// In an open preview of 10k and 100k rows, each against a floor in turns with it
// (process CPU time, medians; goal at most 1.2x):
// - the first page and the last page shown (gone to and repainted), against
//   QPainter on a QImage of the same size drawing the same cells' texts and
//   frames;
// - find across every page, against a bare loop over the same cells' texts
//   testing each for the text.
#include "Goals.h"
#include "OpenPreview.h"
#include "ReportListing.h"
#include "host/HostContext.h"
#include "report/GridReport.h"
#include "report/ObjectText.h"
#include "report/PreparedReport.h"
#include "report/ReportDataSource.h"
#include "report/ReportFonts.h"
#include "reportui/ReportPreview.h"
#include "reportui/TRMFormReport.h"
#include "widgets/DBGridEh.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <functional>

#include <benchmark/benchmark.h>

using namespace sqda;
using namespace sqda::report;
using sqda::bench::OpenPreview;

namespace {

constexpr int kRows = 100'000;

sqda::bench::Samples g_samples;

DataStore listingRows()
{
    DataStore s({ { QStringLiteral("f_bmbm"), FieldType::String, 12, QStringLiteral("部门编码") },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, QStringLiteral("商圈编码") },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, QStringLiteral("商圈名称") },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, QStringLiteral("级别") },
        { QStringLiteral("f_mj"), FieldType::String, 2, QStringLiteral("末级") } });
    for (int i = 0; i < kRows; ++i) {
        s.appendString(0, QStringLiteral("0101"));
        s.appendString(1, QStringLiteral("SQ%1").arg(i, 6, 10, QLatin1Char('0')));
        s.appendString(2, QStringLiteral("商圈名称%1").arg(i));
        s.appendInt(3, i % 4 + 1);
        s.appendString(4, i % 4 == 3 ? QStringLiteral("是") : QStringLiteral("否"));
        s.commitRow();
    }
    return s;
}

void BM_PreviewFirstPage(benchmark::State &state)
{
    ClientDataSet ds;
    ds.loadStore(listingRows());
    DBGridEh grid;
    grid.setDataSet(&ds);
    grid.setFooterShown(true);
    grid.setFooter(1, FooterKind::StaticText, QStringLiteral("合计:%1条").arg(kRows));
    grid.resize(600, 300);
    grid.show();
    TRMFormReport report;
    report.setPrintControl(&grid);
    QElapsedTimer clock;
    double seconds = 0;
    QObject::connect(&report, &TRMFormReport::previewShown, [&](ReportPreview *preview) {
        // Runs once the window is up and its event loop runs.
        QTimer::singleShot(0, preview, [&, preview] {
            QWidget *page = preview->findChild<QWidget *>(QStringLiteral("page"));
            const QPixmap shown = page->grab();
            benchmark::DoNotOptimize(shown);
            seconds = clock.nsecsElapsed() / 1e9;
            preview->reject();
        });
    });
    int pages = 0;
    for (auto _ : state) {
        clock.start();
        report.PreviewListing();
        state.SetIterationTime(seconds);
        g_samples.add("PreviewListing", seconds);
        pages = report.prepared() ? report.prepared()->pageCount() : 0;
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PreviewFirstPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PreviewPagesAndFind(benchmark::State &state)
{
    const int n = int(state.range(0));
    OpenPreview open(n);
    if (!open.page) {
        state.SkipWithError("no page view");
        for (auto _ : state) { }
        return;
    }
    const std::string size = sqda::bench::spaced(n);
    const int last = open.preview->pageCount() - 1;
    QImage image(open.page->size(), QImage::Format_ARGB32_Premultiplied);
    const QString text = QStringLiteral("商圈名称9");
    const auto timed = [](const std::string &name, const std::function<void()> &work) {
        const double t0 = sqda::bench::processCpuNow();
        work();
        const double t = sqda::bench::processCpuNow() - t0;
        g_samples.add(name, t);
        return t;
    };
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        for (const auto &[index, what] : { std::pair { 0, "first page" }, std::pair { last, "last page" } }) {
            const auto ours = [&, index = index, what = what] {
                // Away and back, outside the figure, so the page is gone to.
                open.preview->goToPage(index == 0 ? last : 0);
                QApplication::processEvents();
                t += timed(std::string(what) + size, [&] {
                    open.preview->goToPage(index);
                    open.page->repaint();
                });
                if (open.preview->currentPage() != index)
                    state.SkipWithError("the page was not shown");
            };
            const auto floor = [&, index = index, what = what] {
                t += timed(std::string(what) + " floor" + size, [&] { open.paintBare(index, image); });
            };
            if (floorFirst) {
                floor();
                ours();
            } else {
                ours();
                floor();
            }
        }
        int bareHits = 0;
        const auto floorFind = [&] { t += timed("find floor" + size, [&] { bareHits = open.findBare(text); }); };
        const auto find = [&] {
            bool found = false;
            t += timed("find" + size, [&] { found = open.preview->find(text); });
            if (!found)
                state.SkipWithError("find found nothing");
        };
        if (floorFirst) {
            floorFind();
            find();
        } else {
            find();
            floorFind();
        }
        if (bareHits == 0 || open.preview->hitCount() != bareHits)
            state.SkipWithError("find and the floor found different hits");
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    state.counters["pages"] = open.preview->pageCount();
    state.counters["hits"] = open.preview->hitCount();
}
BENCHMARK(BM_PreviewPagesAndFind)
    ->Arg(10'000)
    ->Arg(kRows)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_report_preview", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    // From the seconds measured, not the benchmark library's figure, which is in
    // whatever unit the run was registered with.
    if (reporter.ran("BM_PreviewFirstPage/iterations:5/manual_time") && g_samples.all().count("PreviewListing"))
        sqda::bench::Goals::note(
            "PreviewListing to the first page shown, 100000 rows: %.1f ms (wall, median of 5), the first %.1f ms",
            g_samples.median("PreviewListing") * 1e3, g_samples.all().at("PreviewListing").front() * 1e3);
    for (const int n : { 10'000, kRows }) {
        const std::string name = "BM_PreviewPagesAndFind/" + std::to_string(n) + "/iterations:7/manual_time";
        if (!reporter.ran(name))
            continue;
        const bool failed = reporter.anyFailed({ name });
        const std::string size = sqda::bench::spaced(n);
        for (const char *what : { "first page", "last page", "find" }) {
            const double ours = g_samples.median(what + size),
                         floor = g_samples.median(std::string(what) + " floor" + size);
            sqda::bench::Goals::note(
                "preview %s, %d rows: %.2f ms, floor %.2f ms (process CPU)", what, n, ours * 1e3, floor * 1e3);
            goals.atMost(std::string("preview ") + what
                    + (std::string(what) == "find" ? " across all pages / bare text loop, "
                                                   : " shown / QPainter on a QImage, ")
                    + std::to_string(n) + " rows",
                floor > 0 ? ours / floor : 0, 1.2, failed);
        }
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_report_preview", "end");
    return goals.exitCode();
}
