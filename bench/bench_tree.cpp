// The maintenance screen's tree at scale, against a bare QTreeWidget in the same run:
//   load: a packet of 100k areas to the shown tree (the screen's tree load), against
//         decoding the same packet and inserting the same items into a bare
//         QTreeWidget (goal at most 1.5x);
//   locate: finding the last of the 100k nodes by its text (the screen's locate),
//         against a bare walk over the same tree's item texts (goal at most 2x).
// Prints both ratios at the end.
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
#include <map>
#include <memory>
#include <string>

using namespace sqda;

namespace {

constexpr int AreaCount = 100000;

FieldDefs areaFields()
{
    return { { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} } };
}

// A chain's areas in code order: 20 districts of 10 zones of 10 streets, each
// street with up to 49 blocks, cut at AreaCount rows.
const DataStore &areas()
{
    static DataStore store = [] {
        DataStore s(areaFields());
        s.reserve(AreaCount);
        int n = 0;
        auto add = [&](const QString &code, int level, int leaf) {
            if (n++ >= AreaCount)
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
    return store;
}

const QByteArray &areaPacket()
{
    static const QByteArray p = Packet::encode(areas());
    return p;
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

// The screen: packet from the host, decoded, checked, built and shown, root selected.
void BM_ScreenTreeLoad(benchmark::State &state)
{
    Screen &s = screen();
    for (auto _ : state) {
        s.form->LoadAreaTree();
        QApplication::processEvents();
        benchmark::DoNotOptimize(s.form->TN->topLevelItemCount());
    }
    state.SetItemsProcessed(state.iterations() * AreaCount);
}

// The reference: decode the same packet, then put the same items into a bare
// tree widget the fastest plain way (built off the view, added at once).
void BM_BareTreeLoad(benchmark::State &state)
{
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.setUniformRowHeights(true);
    tree.resize(185, 487);
    tree.show();
    for (auto _ : state) {
        ClientDataSet ds;
        if (!ds.loadPacket(areaPacket()))
            state.SkipWithError("decode failed");
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
        QApplication::processEvents();
        benchmark::DoNotOptimize(tree.topLevelItemCount());
    }
    state.SetItemsProcessed(state.iterations() * AreaCount);
}

QString lastNodeText()
{
    const DataStore &st = areas();
    const qsizetype r = st.rowCount() - 1;
    return st.string(r, 1).toString() + QLatin1Char(' ') + st.string(r, 2).toString();
}

// The screen's locate from the top for the text of the last node: walk, select, load its row.
void BM_ScreenLocateLast(benchmark::State &state)
{
    Screen &s = screen();
    s.form->LoadAreaTree();
    maintenanceState().LocateText = lastNodeText();
    for (auto _ : state) {
        s.form->LocateArea(true);
        benchmark::DoNotOptimize(s.form->TN->selectedNode());
    }
    if (!s.form->TN->selectedNode() || s.form->TN->selectedNode()->text(0) != lastNodeText())
        state.SkipWithError("the last node was not found");
}

// The reference: a bare walk over the same tree's item texts to the same node.
void BM_BareWalkToLast(benchmark::State &state)
{
    Screen &s = screen();
    s.form->LoadAreaTree();
    const QString target = lastNodeText();
    for (auto _ : state) {
        QTreeWidgetItem *found = nullptr;
        for (QTreeWidgetItemIterator it(s.form->TN); *it; ++it) {
            if ((*it)->text(0) == target) {
                found = *it;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
}

BENCHMARK(BM_ScreenTreeLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareTreeLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScreenLocateLast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareWalkToLast)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so main() can print the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            seconds[r.benchmark_name()] = r.GetAdjustedCPUTime(); // the machine may be shared
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto theScreen = std::make_unique<Screen>();
    g_screen = theScreen.get();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char *ours, const char *ref, const char *what, double goal) {
        const auto a = reporter.seconds.find(ours), b = reporter.seconds.find(ref);
        if (a != reporter.seconds.end() && b != reporter.seconds.end())
            std::printf("ratio %s: %.2f (goal <= %.2f)\n", what, a->second / b->second, goal);
    };
    for (const char *suffix : { "", "_mean" }) {
        ratio((std::string("BM_ScreenTreeLoad") + suffix).c_str(), (std::string("BM_BareTreeLoad") + suffix).c_str(),
            "tree load screen/bare (CPU time)", 1.5);
        ratio((std::string("BM_ScreenLocateLast") + suffix).c_str(),
            (std::string("BM_BareWalkToLast") + suffix).c_str(), "locate last screen/bare walk (CPU time)", 2.0);
    }
    benchmark::Shutdown();
    g_screen = nullptr;
    theScreen.reset();
    return 0;
}
