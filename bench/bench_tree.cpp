// The maintenance screen's tree at 10k and 100k areas, against a bare QTreeWidget
// doing the same work in the same run (process CPU time, every thread counted):
//   load: a packet of areas to the shown tree (the screen's tree load), against
//         decoding the same packet and inserting the same items into a bare
//         QTreeWidget (goal at most 1.5x);
//   locate: from a collapsed tree, finding the last node by its text, expanding
//         its ancestors and repainting (the screen also loads the node's row from
//         the host), against a bare walk over the item texts that expands, makes
//         current and repaints the same way (goal at most 2x);
//   F3: twenty presses stepping from match to match near the end of the tree,
//         each selecting, loading and repainting, against the bare walk doing the
//         same from the last match (goal at most 2x): a press costs the distance
//         to the next match, whatever the tree's size.
#include "Goals.h"
#include "data/ClientDataSet.h"
#include "data/Packet.h"
#include "host/HostContext.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/ICoorDisp.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

using namespace sqda;

namespace {

constexpr int Small = 10000;
constexpr int Large = 100000;
constexpr int Presses = 20;
int g_areas = Large; // the size the host answers with

FieldDefs areaFields()
{
    return { { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } };
}

// A chain's areas in code order: 20 districts of 10 zones of 10 streets, each
// street with up to 49 blocks, cut at `count` rows.
const DataStore &areas(int count = g_areas)
{
    static std::map<int, DataStore> cache;
    if (auto it = cache.find(count); it != cache.end())
        return it->second;
    DataStore store = [count] {
        DataStore s(areaFields());
        s.reserve(count);
        int n = 0;
        auto add = [&](const QString &code, int level, int leaf) {
            if (n++ >= count)
                return false;
            s.appendString(0, u"0101");
            s.appendString(1, code);
            s.appendString(2, QStringLiteral("商圈 %1 区").arg(code));
            s.appendInt(3, level);
            s.appendInt(4, leaf);
            s.commitRow();
            return true;
        };
        auto two = [](int i) { return QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')); };
        for (int a = 0; a < 20; ++a) {
            const QString ca = two(a);
            add(ca, 1, 0);
            for (int b = 0; b < 10; ++b) {
                const QString cb = ca + two(b);
                add(cb, 2, 0);
                for (int c = 0; c < 10; ++c) {
                    const QString cc = cb + two(c);
                    add(cc, 3, 0);
                    for (int d = 0; d < 49; ++d)
                        add(cc + QStringLiteral("%1").arg(d, 3, 10, QLatin1Char('0')), 4, 1);
                }
            }
        }
        return s;
    }();
    return cache.emplace(count, std::move(store)).first->second;
}

const QByteArray &areaPacket(int count = g_areas)
{
    static std::map<int, QByteArray> cache;
    if (auto it = cache.find(count); it != cache.end())
        return it->second;
    return cache.emplace(count, Packet::encode(areas(count))).first->second;
}

QByteArray recordPacket()
{
    DataStore s(areaFields());
    s.appendString(0, u"0101");
    s.appendString(1, u"00");
    s.appendString(2, u"x");
    s.appendInt(3, 1);
    s.appendInt(4, 1);
    s.commitRow();
    return Packet::encode(s);
}

// A host that answers what the screen asks while it opens, loads and locates.
class BenchHost : public ICoorDisp
{
public:
    unsigned long AddRef() override { return 1; }
    unsigned long Release() override { return 1; }
    QVariant Invoke(int dispId, QVariantList &args) override
    {
        switch (dispId) {
        case DispGetDatabaseType:
            return QStringLiteral("SQLSERVER");
        case DispGetSystemParameters:
            args[0] = m_params;
            return true;
        case DispGetCodeLevels:
            args[0] = QStringLiteral("2223");
            return true;
        case DispQueryData:
            args[1] = args[0].toString().contains(QLatin1String("f_sqbm=")) ? m_record : areaPacket();
            return true;
        default:
            return false;
        }
    }

private:
    QByteArray m_params = [] {
        DataStore s({ { QStringLiteral("f_Csmc"), FieldType::String, 20, {} },
            { QStringLiteral("f_csz"), FieldType::String, 40, {} } });
        for (auto [k, v] :
            { std::pair { u"dwlx", u"01" }, { u"dybm", u"0101" }, { u"dwmc", u"示例连锁" }, { u"zbbm", u"01" } }) {
            s.appendString(0, k);
            s.appendString(1, v);
            s.commitRow();
        }
        return Packet::encode(s);
    }();
    QByteArray m_record = recordPacket();
};

struct Screen
{
    BenchHost host;
    std::unique_ptr<QWidget> parent;
    TfrmMdda_ED *form = nullptr;

    Screen()
    {
        hostContext().DataService = CoorDispRef(&host);
        parent = std::make_unique<QWidget>();
        parent->resize(824, 540);
        form = new TfrmMdda_ED(parent.get()); // owned by the parent
        parent->show();
        form->show(); // loads the tree once
        QApplication::processEvents();
    }
    ~Screen() { releaseHostContext(); }
};

// Made in main() after the application object and gone before it.
Screen *g_screen = nullptr;

Screen &screen()
{
    return *g_screen;
}

void useSize(benchmark::State &state)
{
    g_areas = int(state.range(0));
}

// The screen: packet from the host, decoded, checked, built and shown, root selected.
void BM_ScreenTreeLoad(benchmark::State &state)
{
    useSize(state);
    Screen &s = screen();
    for (auto _ : state) {
        s.form->LoadAreaTree();
        QApplication::processEvents();
        benchmark::DoNotOptimize(s.form->TN->topLevelItemCount());
    }
    if (s.form->TN->nodesInOrder().size() != g_areas + 1)
        state.SkipWithError("the tree does not hold every area");
    state.SetItemsProcessed(state.iterations() * g_areas);
}

// A bare tree widget shown as the screen's is.
struct BareTree
{
    QTreeWidget tree;
    BareTree()
    {
        tree.setHeaderHidden(true);
        tree.setUniformRowHeights(true);
        tree.resize(185, 487);
        tree.show();
        QApplication::processEvents();
    }

    // Decodes the packet and puts the same items in the fastest plain way (built
    // off the view, added at once).
    bool load()
    {
        ClientDataSet ds;
        if (!ds.loadPacket(areaPacket()))
            return false;
        const DataStore &st = ds.store();
        tree.clear();
        auto *root = new QTreeWidgetItem(QStringList { QStringLiteral("商圈档案") });
        QTreeWidgetItem *last[5] = { root, nullptr, nullptr, nullptr, nullptr };
        for (qsizetype r = 0; r < st.rowCount(); ++r) {
            const int level = int(st.integer(r, 3));
            QString text = st.string(r, 1).toString();
            text += QLatin1Char(' ');
            text.append(st.string(r, 2));
            auto *item = new QTreeWidgetItem;
            item->setText(0, text);
            last[level - 1]->addChild(item);
            last[level] = item;
        }
        tree.addTopLevelItem(root);
        tree.expandItem(root);
        tree.setCurrentItem(root);
        return true;
    }

    // The walk the floor does: from `from` (tested too) to the first text holding `text`.
    static QTreeWidgetItem *walk(QTreeWidgetItemIterator it, const QString &text)
    {
        for (; *it; ++it) {
            if ((*it)->text(0).contains(text))
                return *it;
        }
        return nullptr;
    }

    // What the screen does with a found node, the plain way.
    void show(QTreeWidgetItem *found)
    {
        for (QTreeWidgetItem *p = found->parent(); p; p = p->parent())
            p->setExpanded(true);
        tree.setCurrentItem(found);
        tree.scrollToItem(found);
        QApplication::processEvents(); // repainted here
    }

    void collapse()
    {
        tree.collapseAll();
        tree.expandItem(tree.topLevelItem(0));
        tree.setCurrentItem(tree.topLevelItem(0));
        QApplication::processEvents();
    }
};

void BM_BareTreeLoad(benchmark::State &state)
{
    useSize(state);
    BareTree bare;
    for (auto _ : state) {
        if (!bare.load())
            state.SkipWithError("decode failed");
        QApplication::processEvents();
        benchmark::DoNotOptimize(bare.tree.topLevelItemCount());
    }
    state.SetItemsProcessed(state.iterations() * g_areas);
}

QString nodeText(qsizetype r)
{
    const DataStore &st = areas();
    return st.string(r, 1).toString() + QLatin1Char(' ') + st.string(r, 2).toString();
}

QString lastNodeText()
{
    return nodeText(areas().rowCount() - 1);
}

// The screen collapsed to its root, the root selected, as a user starts a locate.
void collapseScreen(Screen &s)
{
    s.form->TN->collapseNode(s.form->TN->topLevelItem(0), true);
    s.form->TN->expandNode(s.form->TN->topLevelItem(0), false);
    s.form->TN->selectNode(s.form->TN->topLevelItem(0));
    QApplication::processEvents();
}

sqda::bench::Samples g_samples;

// Times `work` in process CPU seconds into the samples of `name`.
double timed(const std::string &name, const std::function<void()> &work)
{
    const double t0 = sqda::bench::processCpuNow();
    work();
    const double t = sqda::bench::processCpuNow() - t0;
    g_samples.add(name, t);
    return t;
}

// Runs the two sides of a comparison, each going first in turn.
void inTurns(bool &floorFirst, const std::function<void()> &ours, const std::function<void()> &floor)
{
    if (floorFirst) {
        floor();
        ours();
    } else {
        ours();
        floor();
    }
    floorFirst = !floorFirst;
}

// From a collapsed tree, the screen's locate from the top for the text of the
// last node (walk, expand, select, load its row, repaint), against the bare
// walk that expands, makes current and repaints.
void BM_LocateLast(benchmark::State &state)
{
    useSize(state);
    Screen &s = screen();
    s.form->LoadAreaTree();
    BareTree bare;
    bare.load();
    const QString target = lastNodeText();
    const std::string size = sqda::bench::spaced(g_areas);
    bool found = true, floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        inTurns(
            floorFirst,
            [&] {
                maintenanceState().LocateText = target;
                collapseScreen(s);
                t += timed("locate" + size, [&] {
                    s.form->LocateArea(true);
                    QApplication::processEvents(); // repainted here
                });
                found = found && s.form->TN->selectedNode() && s.form->TN->selectedNode()->text(0) == target;
            },
            [&] {
                bare.collapse();
                t += timed("bare locate" + size, [&] {
                    QTreeWidgetItem *node = BareTree::walk(QTreeWidgetItemIterator(&bare.tree), target);
                    if (node)
                        bare.show(node);
                    found = found && node;
                });
            });
        state.SetIterationTime(t);
    }
    if (!found)
        state.SkipWithError("the last node was not found");
}

// The text F3 steps through: the 49th block of every street, about one node in 50;
// the presses start at the 25th match from the end.
const QString &stepText()
{
    static const QString t = QStringLiteral("048 商圈");
    return t;
}

QString firstStepNodeText()
{
    const DataStore &st = areas();
    int seen = 0;
    for (qsizetype r = st.rowCount() - 1; r >= 0; --r) {
        if (nodeText(r).contains(stepText()) && ++seen == Presses + 5)
            return nodeText(r);
    }
    return {};
}

// Twenty F3 presses from the 25th match from the end, each selecting, loading
// the row and repainting, against the bare walk doing the same from match to match.
void BM_F3Steps(benchmark::State &state)
{
    useSize(state);
    Screen &s = screen();
    s.form->LoadAreaTree();
    BareTree bare;
    bare.load();
    const QString startText = firstStepNodeText();
    QTreeWidgetItem *start = s.form->TN->findNodeText(startText);
    QTreeWidgetItem *bareStart = BareTree::walk(QTreeWidgetItemIterator(&bare.tree), startText);
    const std::string size = sqda::bench::spaced(g_areas);
    bool stepped = start && bareStart, floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        inTurns(
            floorFirst,
            [&] {
                maintenanceState().LocateText = stepText();
                if (start)
                    s.form->TN->selectNode(start);
                QApplication::processEvents();
                t += timed("F3" + size, [&] {
                    for (int i = 0; i < Presses; ++i) {
                        s.form->LocateArea(false); // what F3 runs
                        QApplication::processEvents(); // repainted here
                    }
                });
                QTreeWidgetItem *at = s.form->TN->selectedNode();
                stepped = stepped && at && at != start && at->text(0).contains(stepText());
            },
            [&] {
                if (bareStart)
                    bare.show(bareStart);
                t += timed("bare F3" + size, [&] {
                    QTreeWidgetItem *at = bareStart;
                    for (int i = 0; at && i < Presses; ++i) {
                        QTreeWidgetItemIterator it(at);
                        at = BareTree::walk(++it, stepText());
                        if (at)
                            bare.show(at);
                    }
                    stepped = stepped && at;
                });
            });
        state.SetIterationTime(t);
    }
    if (!stepped)
        state.SkipWithError("F3 did not step through the matches");
}

#define SIZES ->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()
BENCHMARK(BM_ScreenTreeLoad) SIZES;
BENCHMARK(BM_BareTreeLoad) SIZES;
#undef SIZES
#define TURNS ->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(15)
BENCHMARK(BM_LocateLast) TURNS;
BENCHMARK(BM_F3Steps) TURNS;
#undef TURNS

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto theScreen = std::make_unique<Screen>();
    g_screen = theScreen.get();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_tree", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    const auto goal = [&](const char *ours, const char *ref, const char *what, double limit) {
        for (const int n : { Small, Large }) {
            const std::string a = std::string(ours) + "/" + std::to_string(n) + "/process_time";
            const std::string b = std::string(ref) + "/" + std::to_string(n) + "/process_time";
            if (reporter.ran(a) && reporter.ran(b))
                goals.atMost(std::string(what) + ", " + std::to_string(n) + " areas",
                    reporter.ratio(reporter.cpu, a, b), limit, reporter.anyFailed({ a, b }));
        }
    };
    goal("BM_ScreenTreeLoad", "BM_BareTreeLoad", "tree load screen / bare QTreeWidget", 1.5);
    const auto turns = [&](const char *bench, const char *ours, const char *ref, const char *what, double limit) {
        for (const int n : { Small, Large }) {
            const std::string name = std::string(bench) + "/" + std::to_string(n) + "/iterations:15/manual_time";
            if (!reporter.ran(name))
                continue;
            const std::string size = sqda::bench::spaced(n);
            const double a = g_samples.median(ours + size), b = g_samples.median(ref + size);
            sqda::bench::Goals::note("  %s, %d areas: %.2f ms / %.2f ms (medians)", what, n, a * 1e3, b * 1e3);
            goals.atMost(std::string(what) + ", " + std::to_string(n) + " areas", b > 0 ? a / b : 0, limit,
                reporter.anyFailed({ name }));
        }
    };
    turns("BM_LocateLast", "locate", "bare locate", "locate last from collapsed screen / bare", 2.0);
    turns("BM_F3Steps", "F3", "bare F3", "F3 x20 screen / bare", 2.0);
    benchmark::Shutdown();
    g_screen = nullptr;
    theScreen.reset();
    sqda::bench::printLoad("bench_tree", "end");
    return goals.exitCode();
}
