// Find in an open preview of 10k and 100k rows as the user waits for it, each
// against a floor in turns with it (process CPU time, medians; goal at most 1.2x):
// - find across all pages to the first hit's page painted, against a bare loop
//   over the same cells' texts testing each for the text, then QPainter painting
//   that page's texts and frames on a QImage of the page view's size;
// - F3 stepping through the next 30 hits, each to its page painted (the hits lie
//   on several pages), against QPainter painting the page of each hit on the image.
// The first and last page shown have their goals in bench_report_preview. The
// preview keeps a count of hits a page and works out the places of the page
// shown, so a press costs that page, not the listing.
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

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <functional>

using namespace sqda;
using namespace sqda::report;
using sqda::bench::OpenPreview;

namespace {

constexpr int kSteps = 30;

sqda::bench::Samples g_samples;

double timed(const std::string &name, const std::function<void()> &work)
{
    const double t0 = sqda::bench::processCpuNow();
    work();
    const double t = sqda::bench::processCpuNow() - t0;
    g_samples.add(name, t);
    return t;
}

void BM_PreviewFind(benchmark::State &state)
{
    const int n = int(state.range(0));
    OpenPreview open(n);
    if (!open.page) {
        state.SkipWithError("no page view");
        for (auto _ : state) { }
        return;
    }
    const std::string size = sqda::bench::spaced(n);
    QImage image(open.page->size(), QImage::Format_ARGB32_Premultiplied);
    // Rows 9, 90…99, 900…999 and so on: hits on a page now and then, more later.
    const QString text = QStringLiteral("商圈名称9");
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        open.preview->goToPage(0);
        QApplication::processEvents();
        int bareHits = 0;
        const auto floorFind = [&] {
            t += timed("find floor" + size, [&] {
                int firstPage = 0;
                bareHits = open.findBare(text, &firstPage);
                open.paintBare(std::max(0, firstPage), image);
            });
        };
        const auto find = [&] {
            bool found = false;
            t += timed("find" + size, [&] {
                found = open.preview->find(text);
                open.page->repaint();
            });
            if (!found)
                state.SkipWithError("find found nothing");
        };
        floorFirst ? (floorFind(), find()) : (find(), floorFind());
        if (bareHits == 0 || open.preview->hitCount() != bareHits)
            state.SkipWithError("find and the floor found different hits");

        // F3 through the next hits, the page of each painted; the floor paints
        // the same pages.
        std::vector<int> pages;
        const auto step = [&] {
            t += timed("F3" + size, [&] {
                for (int i = 0; i < kSteps; ++i) {
                    open.preview->findNext();
                    open.page->repaint();
                }
            });
        };
        const auto floorStep = [&] {
            t += timed("F3 floor" + size, [&] {
                for (const int p : pages)
                    open.paintBare(p, image);
            });
        };
        const int from = open.preview->currentHit();
        for (int i = 1; i <= kSteps; ++i)
            pages.push_back(open.preview->hitPage((from + i) % open.preview->hitCount()));
        floorFirst ? (floorStep(), step()) : (step(), floorStep());
        if (open.preview->currentPage() != pages.back())
            state.SkipWithError("F3 did not reach the page of the hit");
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    state.counters["pages"] = open.preview->pageCount();
    state.counters["hits"] = open.preview->hitCount();
}
BENCHMARK(BM_PreviewFind)->Arg(10'000)->Arg(100'000)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_preview", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const int n : { 10'000, 100'000 }) {
        const std::string name = "BM_PreviewFind/" + std::to_string(n) + "/iterations:9/manual_time";
        if (!reporter.ran(name))
            continue;
        const bool failed = reporter.anyFailed({ name });
        const std::string size = sqda::bench::spaced(n);
        const std::string rows = ", " + std::to_string(n) + " rows";
        for (const auto &[sample, what] :
            { std::pair { "find", "preview find to the first hit painted / bare text loop and QPainter on a QImage" },
                std::pair { "F3", "preview F3 through 30 hits, each page painted / QPainter on a QImage" } }) {
            const double ours = g_samples.median(sample + size),
                         floor = g_samples.median(std::string(sample) + " floor" + size);
            sqda::bench::Goals::note("preview %s, %d rows: %.2f ms, floor %.2f ms (process CPU, median)", sample, n,
                ours * 1e3, floor * 1e3);
            goals.atMost(what + rows, floor > 0 ? ours / floor : 0, 1.2, failed);
        }
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_preview", "end");
    return goals.exitCode();
}
