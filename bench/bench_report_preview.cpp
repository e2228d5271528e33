// The query form's preview of a 100,000-row listing: from the call of
// PreviewListing on a real grid to the first page rendered in the preview window
// (the grid read, the layout generated, both formatting passes, the window built
// and shown, page 1 painted). Offscreen; the goal is at most 0.3 s.
#include "host/HostContext.h"
#include "reportui/ReportPreview.h"
#include "reportui/TRMFormReport.h"
#include "widgets/DBGridEh.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace sqda;
using namespace sqda::report;

namespace {

constexpr int kRows = 100'000;

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
        pages = report.prepared() ? report.prepared()->pageCount() : 0;
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PreviewFirstPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
