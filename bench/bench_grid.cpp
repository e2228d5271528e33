// The listing grid over a million trade areas, each figure against the work it
// cannot avoid, in one run (offscreen, process CPU time: the dataset's page
// warmer works on a second thread):
// - a packet loaded into the grid's dataset and the first screen painted, against
//   decoding the packet alone (goal <= 1.2), also right after the user sorted;
// - a click on a title that sorts the rows and repaints, against the dataset's
//   sort alone, both with the column's ranks built by an earlier sort (goal <= 1.1),
//   and the first click after a load against the first sort (ranks built inside);
// - one screen painted at row 900,000 against one at row 0 (goal <= 1.2: no
//   slower beyond noise);
// - a page scrolled (the scroll bar's page step, the next screen painted) in the grid against a
//   bare QTableView over a DataSetModel of the same rows, with the same columns
//   and font, scrolled and painted the same way (goal <= 1.2).
// The two sides of each figure take turns in one loop and the medians and the
// fastest turns are printed: on a shared machine, memory work (fresh pages for a
// million rows) swings from turn to turn, and the fastest turns show the cost
// with the least disturbance. BENCH_GRID_SAMPLES=1 prints every turn.
// The grid is set up as the query screen's: code, name, level, area and a hidden
// department column, "宋体" text, sorting by title clicks, the count footer.
#include "Goals.h"
#include "data/ClientDataSet.h"
#include "data/Packet.h"
#include "host/HostContext.h"
#include "host/ScreenFonts.h"
#include "query/TAdvDBGridEh.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>

#include "data/DataSetModel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <time.h>

using namespace sqda;

namespace {

constexpr qsizetype kRows = 1'000'000;
constexpr int kFarRow = 900'000;

double cpuNow()
{
    return sqda::bench::processCpuNow();
}

FieldDefs areaFields()
{
    return { { QStringLiteral("f_sqbm"), FieldType::String, 12, QStringLiteral("商圈编码") },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, QStringLiteral("商圈名称") },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, QStringLiteral("部门编码") },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, QStringLiteral("级别") },
        { QStringLiteral("f_mj"), FieldType::Double, 0, QStringLiteral("面积") } };
}

// A million areas with random codes and two- to six-character Chinese names.
const QByteArray &packet()
{
    static const QByteArray p = [] {
        const QString hanzi = QStringLiteral(
            "东西南北中华新城区街道路桥河湖山海天津京沪广深杭苏宁武汉成都重庆长沙郑州西安青岛大连厦门福州"
            "南昌合肥济南太原石家庄呼和浩特沈阳长春哈尔滨昆明贵阳南宁海口兰州银川西宁乌鲁木齐拉萨王府井前门"
            "金融商务科技园体育文化广场花园公园学院医院车站机场港口码头市场超市百货购物中心步行");
        std::mt19937 rng(7);
        DataStore s(areaFields());
        s.reserve(kRows);
        for (qsizetype i = 0; i < kRows; ++i) {
            s.appendString(0, QStringLiteral("%1").arg(quint64(rng() % 100000000), 8, 10, QLatin1Char('0')));
            QString name;
            const int len = 2 + int(rng() % 5);
            for (int c = 0; c < len; ++c)
                name += hanzi[qsizetype(rng() % quint32(hanzi.size()))];
            s.appendString(1, name);
            s.appendString(2, QStringLiteral("01%1").arg(int(rng() % 50), 2, 10, QLatin1Char('0')));
            s.appendInt(3, 1 + int(rng() % 4));
            s.appendDouble(4, double(rng() % 100000) / 7.0);
            s.commitRow();
        }
        return Packet::encode(s);
    }();
    return p;
}

// Counts the paint events of the rows' viewport: a figure that claims a painted
// screen must have painted one.
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

// The query screen's grid on its own dataset, shown offscreen.
struct Listing
{
    ClientDataSet ds;
    TAdvDBGridEh grid;
    PaintCounter counter;

    Listing()
    {
        ds.setPersistentFields(areaFields());
        grid.setDataSet(&ds);
        const struct
        {
            const char *field;
            int width;
            int tag;
        } columns[]
            = { { "f_sqbm", 80, 0 }, { "f_sqmc", 164, 0 }, { "f_bmbm", 64, 1 }, { "f_jb", 40, 0 }, { "f_mj", 80, 0 } };
        for (const auto &c : columns) {
            GridColumn col;
            col.fieldName = QString::fromLatin1(c.field);
            col.width = c.width;
            col.tag = c.tag;
            col.visible = c.tag == 0;
            grid.addColumn(col);
        }
        grid.setFont(songTi9());
        grid.titleFont = songTi9();
        grid.footerFont = songTi9();
        grid.AutoSorted = true;
        grid.ShowSumCount = true;
        grid.setMultiSortMarking(true);
        grid.setFooterShown(true);
        grid.resize(800, 480);
        grid.viewport()->installEventFilter(&counter);
        grid.show();
        QApplication::processEvents();
    }

    bool load()
    {
        if (!ds.loadPacket(packet()))
            return false;
        QApplication::processEvents(); // the first screen is painted here
        return true;
    }

    // A left click on the name column's title, as the mouse sends it.
    void clickNameTitle()
    {
        QHeaderView *h = grid.horizontalHeader();
        const int s = grid.sectionOfGridColumn(1);
        const QPointF at(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2);
        const QPointF global = h->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(h->viewport(), &release);
        QApplication::processEvents(); // the sorted screen is painted here
    }

    bool sortedByName() const
    {
        return ds.indexName() == QLatin1String("customindex") && grid.sortMarkedColumns().size() == 1
            && grid.dataModel()->rowCount() == kRows;
    }
};

// Made in main() after the application object and gone before it.
Listing *g_listing = nullptr;

// The dataset's sort alone, the least it takes: the index defined and made
// current, or, when it is current already, its definition replaced (one sort).
void sortByName(ClientDataSet &ds, bool descending)
{
    const QString name = QStringLiteral("customindex");
    const bool current = ds.indexName() == name;
    ds.addIndex(name, QStringLiteral("f_sqmc"), IndexOption::CaseInsensitive,
        descending ? QStringLiteral("f_sqmc") : QString());
    if (!current)
        ds.setIndexName(name);
}

// Each comparison times its two sides in turns within one iteration, so both
// see the same machine; the figures are the medians of the turns.
sqda::bench::Samples g_samples;

double timed(const char *name, const std::function<void()> &work)
{
    const double t0 = cpuNow();
    work();
    const double t = cpuNow() - t0;
    g_samples.add(name, t);
    return t;
}

// Loading the packet into the grid's dataset and painting the first screen,
// against decoding it alone. `sortedBefore`: the user had sorted the previous
// rows, so the dataset's current index is "customindex" when the rows come.
void loadVsDecode(benchmark::State &state, bool sortedBefore, const char *loadName)
{
    Listing &l = *g_listing;
    l.load();
    bool decodeFirst = true;
    for (auto _ : state) {
        if (sortedBefore)
            l.clickNameTitle();
        // Each side takes fresh memory from the system: they take turns going
        // first, so neither always finds the other's freed pages.
        const auto decode = [] {
            // The decoded rows are freed outside the figure; the load frees the
            // old rows inside its own.
            std::unique_ptr<Result<DataStore>> decoded;
            const double t = timed(
                "decode", [&decoded] { decoded = std::make_unique<Result<DataStore>>(Packet::decode(packet())); });
            decoded.reset();
            return t;
        };
        const auto load = [&] {
            const int paints = l.counter.paints;
            bool ok = false;
            const double t = timed(loadName, [&] { ok = l.load(); });
            if (!ok || l.counter.paints == paints || l.ds.recordCount() != kRows)
                state.SkipWithError("not loaded and painted");
            return t;
        };
        double t = 0;
        if (decodeFirst) {
            t += decode();
            t += load();
        } else {
            t += load();
            t += decode();
        }
        decodeFirst = !decodeFirst;
        state.SetIterationTime(t);
    }
}

void BM_LoadVsDecode(benchmark::State &state)
{
    loadVsDecode(state, false, "load+paint");
}

void BM_LoadAfterSortVsDecode(benchmark::State &state)
{
    loadVsDecode(state, true, "load+paint after a sort");
}

// A title click that sorts and repaints, against the dataset's sort alone; the
// name's ranks are built by an earlier sort on both sides.
void BM_ClickVsSort(benchmark::State &state)
{
    Listing &l = *g_listing;
    l.load();
    l.clickNameTitle();
    ClientDataSet ds;
    ds.setPersistentFields(areaFields());
    if (!ds.loadPacket(packet()))
        state.SkipWithError("decode failed");
    sortByName(ds, true);
    bool descending = true;
    bool sortFirst = true;
    for (auto _ : state) {
        descending = !descending;
        double t = 0;
        const auto sort = [&] { t += timed("sort", [&] { sortByName(ds, descending); }); };
        const auto click = [&] {
            const int paints = l.counter.paints;
            t += timed("title click", [&] { l.clickNameTitle(); });
            if (!l.sortedByName() || l.counter.paints == paints)
                state.SkipWithError("not sorted and painted");
        };
        // Each side goes first in turn: the one after finds the caches the
        // other left.
        if (sortFirst) {
            sort();
            click();
        } else {
            click();
            sort();
        }
        sortFirst = !sortFirst;
        state.SetIterationTime(t);
    }
}

// The first click after new rows came, against the first sort of new rows: the
// ranks are built inside both.
void BM_FirstClickVsFirstSort(benchmark::State &state)
{
    Listing &l = *g_listing;
    ClientDataSet ds;
    ds.setPersistentFields(areaFields());
    for (auto _ : state) {
        ds.setIndexName(QString());
        if (!ds.loadPacket(packet()))
            state.SkipWithError("decode failed");
        l.load();
        double t = timed("first sort", [&] { sortByName(ds, true); });
        t += timed("first title click", [&] { l.clickNameTitle(); });
        if (!l.sortedByName())
            state.SkipWithError("not sorted");
        state.SetIterationTime(t);
    }
}

// One screen painted (rows, titles, footer) with row 900,000 at the top, against
// one with row 0 at the top.
void BM_PaintFarVsNear(benchmark::State &state)
{
    Listing &l = *g_listing;
    l.load();
    const auto paintAt = [&l, &state](int row, const char *name) {
        l.grid.scrollTo(l.grid.dataModel()->index(row, 0), QAbstractItemView::PositionAtTop);
        QApplication::processEvents();
        if (l.grid.rowAt(0) != row)
            state.SkipWithError("not scrolled to the row");
        const int paints = l.counter.paints;
        const double t = timed(name, [&l] {
            l.grid.viewport()->repaint();
            l.grid.horizontalHeader()->viewport()->repaint();
            l.grid.footerWidget()->repaint();
        });
        if (l.counter.paints == paints)
            state.SkipWithError("not painted");
        return t;
    };
    for (auto _ : state) {
        double t = paintAt(0, "paint at row 0");
        t += paintAt(kFarRow, "paint at row 900000");
        state.SetIterationTime(t);
    }
}

// A page scrolled as a click on the scroll bar's track scrolls it, the next
// screen painted, `pages` times; back to the top outside the figure.
double pageDown(QTableView &view, int pages, const char *name, benchmark::State &state)
{
    view.scrollToTop();
    QApplication::processEvents();
    double t = 0;
    for (int i = 0; i < pages; ++i) {
        const int top = view.rowAt(0);
        t += timed(name, [&view] {
            view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            view.viewport()->repaint();
        });
        if (view.rowAt(0) <= top) {
            std::fprintf(stderr, "%s: top row %d after %d\n", name, view.rowAt(0), top);
            state.SkipWithError("the page did not scroll");
        }
    }
    return t;
}

void BM_PageDownVsBareView(benchmark::State &state)
{
    Listing &l = *g_listing;
    l.load();
    QTableView bare;
    DataSetModel model(&l.ds);
    bare.setModel(&model);
    bare.setFont(songTi9());
    const int widths[] = { 80, 164, 64, 40, 80 };
    for (int c = 0; c < 5; ++c)
        bare.setColumnWidth(c, widths[c]);
    bare.setColumnHidden(2, true);
    bare.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    bare.verticalHeader()->setDefaultSectionSize(l.grid.verticalHeader()->defaultSectionSize());
    bare.resize(l.grid.size());
    bare.show();
    QApplication::processEvents();
    bool bareFirst = true;
    for (auto _ : state) {
        double t = 0;
        if (bareFirst) {
            t += pageDown(bare, 5, "bare page down", state);
            t += pageDown(l.grid, 5, "grid page down", state);
        } else {
            t += pageDown(l.grid, 5, "grid page down", state);
            t += pageDown(bare, 5, "bare page down", state);
        }
        bareFirst = !bareFirst;
        state.SetIterationTime(t);
    }
}

} // namespace

BENCHMARK(BM_LoadVsDecode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15);
BENCHMARK(BM_LoadAfterSortVsDecode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(11);
BENCHMARK(BM_ClickVsSort)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(21);
BENCHMARK(BM_FirstClickVsFirstSort)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PaintFarVsNear)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(60);
BENCHMARK(BM_PageDownVsBareView)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ensureLibraryInitialized(); // "宋体" maps to the Simplified Chinese face
    packet();
    auto listing = std::make_unique<Listing>();
    g_listing = listing.get();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_grid", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (qEnvironmentVariableIsSet("BENCH_GRID_SAMPLES")) {
        for (const auto &[name, v] : g_samples.all()) {
            std::printf("%-28s", name.c_str());
            for (double x : v)
                std::printf(" %.1f", x * 1e3);
            std::printf("\n");
        }
    }
    sqda::bench::Goals goals;
    const auto goal = [&](const char *bench, const char *what, const char *ours, const char *ref, double limit) {
        const std::string name = bench;
        if (!reporter.ran(name))
            return;
        const double a = g_samples.median(ours), b = g_samples.median(ref);
        sqda::bench::Goals::note("  %s: %.2f ms / %.2f ms (fastest turns %.2f / %.2f)", what, a * 1e3, b * 1e3,
            g_samples.fastest(ours) * 1e3, g_samples.fastest(ref) * 1e3);
        goals.atMost(std::string(what) + ", 1M rows", b > 0 ? a / b : 0, limit, reporter.anyFailed({ name }));
    };
    sqda::bench::Goals::note("1M rows, medians of process CPU time per operation:");
    goal("BM_LoadVsDecode/iterations:15/manual_time", "load + first paint / decode", "load+paint", "decode", 1.2);
    goal("BM_LoadAfterSortVsDecode/iterations:11/manual_time", "load after a sort + first paint / decode",
        "load+paint after a sort", "decode", 1.2);
    goal(
        "BM_ClickVsSort/iterations:21/manual_time", "title click + repaint / dataset sort", "title click", "sort", 1.1);
    goal("BM_FirstClickVsFirstSort/iterations:3/manual_time", "first title click / first dataset sort",
        "first title click", "first sort", 1.1);
    goal("BM_PaintFarVsNear/iterations:60/manual_time", "paint at row 900000 / paint at row 0", "paint at row 900000",
        "paint at row 0", 1.2);
    goal("BM_PageDownVsBareView/iterations:10/manual_time", "page scrolled + repaint / bare QTableView",
        "grid page down", "bare page down", 1.2);
    benchmark::Shutdown();
    g_listing = nullptr;
    listing.reset();
    sqda::bench::printLoad("bench_grid", "end");
    return goals.exitCode();
}
