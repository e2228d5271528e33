// Opening the query screen and its condition builder, each to its first paint,
// against a bare window with the same controls (process CPU time, medians of
// turns with the floor; goal at most 1.2x):
// - the query screen through GetFormOneSearch with a scripted host (environment
//   calls answered, as the host answers them), from the call to the screen
//   painted (grab()), against a bare QWidget in the same host control holding a
//   QTableView of the same columns and as many labels, buttons (the tool bar's
//   flat, with an icon over the caption, as the screen's), boxes and frames
//   as the screen shows, painted the same way. The screen opens empty, so its
//   cost does not grow with rows: one size.
// - the condition builder (TFrmQuerySet) from the search button's click to the
//   dialog painted, over a listing holding 10k and 100k rows, against a bare
//   QDialog with the same controls (its combo boxes as many items), run modal
//   the same way.
// The controls of each side are counted from the real window before the figures.
#include "FakeCoorDisp.h"
#include "Goals.h"
#include "TestHost.h"

#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"

#include <sqda/EntryPoints.h>
#include <sqda/HostMessage.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>

extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;
using namespace sqda::test;

namespace {

sqda::bench::Samples g_samples;

// The controls a window shows, by kind; the floor builds as many of each.
struct Controls
{
    int labels = 0, buttons = 0, lineEdits = 0, textEdits = 0, groups = 0, frames = 0;
    int toolButtons = 0; // flat, with a caption under a 16-pixel icon
    std::vector<int> combos; // items of each
    std::vector<int> tables; // columns of each item view
    int total() const
    {
        return labels + buttons + toolButtons + lineEdits + textEdits + groups + frames + int(combos.size())
            + int(tables.size());
    }
};

// Walks the shown children of `w`; a control is counted whole, its own parts
// (a view's scroll bars, a combo box's list) are not.
void count(const QWidget *w, Controls &c)
{
    for (const QObject *o : w->children()) {
        const auto *child = qobject_cast<const QWidget *>(o);
        if (!child || child->isWindow() || !child->isVisibleTo(w))
            continue;
        if (const auto *view = qobject_cast<const QAbstractItemView *>(child))
            c.tables.push_back(view->model() ? view->model()->columnCount() : 1);
        else if (const auto *combo = qobject_cast<const QComboBox *>(child))
            c.combos.push_back(combo->count());
        else if (qobject_cast<const QTextEdit *>(child) || qobject_cast<const QPlainTextEdit *>(child))
            ++c.textEdits;
        else if (qobject_cast<const QLineEdit *>(child))
            ++c.lineEdits;
        else if (const auto *tool = qobject_cast<const QToolButton *>(child); tool && tool->autoRaise()
                 && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon && !tool->icon().isNull())
            ++c.toolButtons;
        else if (qobject_cast<const QAbstractButton *>(child))
            ++c.buttons;
        else if (qobject_cast<const QLabel *>(child))
            ++c.labels;
        else {
            if (qobject_cast<const QGroupBox *>(child))
                ++c.groups;
            else
                ++c.frames;
            count(child, c);
        }
    }
}

// The floor's window content: the same controls in a grid, item views below.
void fillBare(QWidget *w, const Controls &c)
{
    auto *grid = new QGridLayout(w);
    int at = 0;
    const auto place = [&](QWidget *control) {
        grid->addWidget(control, at / 6, at % 6);
        ++at;
    };
    for (int i = 0; i < c.labels; ++i)
        place(new QLabel(QStringLiteral("商圈编码"), w));
    for (int i = 0; i < c.buttons; ++i) {
        auto *b = new QToolButton(w);
        b->setText(QStringLiteral("查询"));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        place(b);
    }
    // A tool bar's buttons show an icon drawn from the pixmap cache, as the
    // screen's do once their first open has painted them.
    static const QIcon icon = [] {
        QPixmap pm(16, 16);
        pm.fill(Qt::darkGreen);
        return QIcon(pm);
    }();
    for (int i = 0; i < c.toolButtons; ++i) {
        auto *b = new QToolButton(w);
        b->setText(QStringLiteral("查  询"));
        b->setIcon(icon);
        b->setIconSize(QSize(16, 16));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setAutoRaise(true);
        place(b);
    }
    for (int i = 0; i < c.lineEdits; ++i)
        place(new QLineEdit(QStringLiteral("0101"), w));
    for (int i = 0; i < c.textEdits; ++i)
        place(new QTextEdit(QStringLiteral("查询条件"), w));
    for (int i = 0; i < c.groups; ++i)
        place(new QGroupBox(QStringLiteral("商圈"), w));
    for (int i = 0; i < c.frames; ++i) {
        auto *f = new QFrame(w);
        f->setFrameShape(QFrame::StyledPanel);
        place(f);
    }
    for (const int items : c.combos) {
        auto *combo = new QComboBox(w);
        for (int i = 0; i < items; ++i)
            combo->addItem(QStringLiteral("商圈名称%1").arg(i));
        place(combo);
    }
    int row = at / 6 + 1;
    for (const int columns : c.tables) {
        auto *view = new QTableView(w);
        auto *model = new QStandardItemModel(0, columns, view);
        for (int i = 0; i < columns; ++i)
            model->setHeaderData(i, Qt::Horizontal, QStringLiteral("商圈编码"));
        view->setModel(model);
        grid->addWidget(view, row++, 0, 1, 6);
    }
}

// A host window with the scripted data service the screen talks to.
struct Host
{
    FakeCoorDisp::Ref service = FakeCoorDisp::create();
    std::unique_ptr<TestHostWindow> window = std::make_unique<TestHostWindow>();
    QByteArray op = toShortString("0001");

    Host()
    {
        service->setupEnvironment();
        service->on(DispGetServerDateTime, FakeCoorDisp::succeed(0, QStringLiteral("2026121008:15:00")));
        service->on(DispGetDatabaseType, [](QVariantList &) -> QVariant { return QStringLiteral("SQLSERVER"); });
        window->activateWindow();
        QApplication::processEvents();
    }

    TfrmQuery *open()
    {
        GetFormOneSearch(window.get(), window->hostControl, reinterpret_cast<const uchar *>(op.constData()),
            window->parentControl, service.get());
        const QList<QWidget *> forms = embeddedForms(window->parentControl);
        auto *form = forms.isEmpty() ? nullptr : qobject_cast<TfrmQuery *>(forms.last());
        if (form)
            form->setGeometry(window->parentControl->rect()); // as the reference host fits it
        return form;
    }

    // Closes every screen and lets them go, outside the figures.
    void closeAll()
    {
        for (QWidget *w : embeddedForms(window->parentControl))
            w->close();
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qDeleteAll(embeddedForms(window->parentControl));
    }
};

double timed(const std::string &name, const std::function<void()> &work)
{
    const double t0 = sqda::bench::processCpuNow();
    work();
    const double t = sqda::bench::processCpuNow() - t0;
    g_samples.add(name, t);
    return t;
}

void BM_OpenQueryScreen(benchmark::State &state)
{
    Host host;
    // The controls the screen shows, from one open outside the figures (which
    // also loads the fonts and styles both sides use).
    Controls controls;
    if (TfrmQuery *form = host.open()) {
        QApplication::processEvents();
        benchmark::DoNotOptimize(form->grab());
        count(form, controls);
    }
    host.closeAll();
    if (controls.tables.empty()) {
        state.SkipWithError("the query screen did not open");
        for (auto _ : state) { }
        return;
    }
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto ours = [&] {
            bool shown = false;
            t += timed("query screen", [&] {
                TfrmQuery *form = host.open();
                shown = form && !form->grab().isNull();
            });
            if (!shown)
                state.SkipWithError("the query screen did not open");
            host.closeAll();
        };
        const auto floor = [&] {
            QWidget *bare = nullptr;
            t += timed("query screen floor", [&] {
                bare = new QWidget(host.window->parentControl);
                fillBare(bare, controls);
                bare->setGeometry(host.window->parentControl->rect());
                bare->show();
                benchmark::DoNotOptimize(bare->grab());
            });
            delete bare;
        };
        floorFirst ? (floor(), ours()) : (ours(), floor());
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    state.counters["controls"] = controls.total();
}
BENCHMARK(BM_OpenQueryScreen)->Iterations(301)->UseManualTime()->Unit(benchmark::kMillisecond);

// The rows of a search, as the host answers one.
QByteArray areaPacket(int rows)
{
    FieldDefs defs { { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} } };
    QList<QVariantList> values;
    values.reserve(rows);
    for (int i = 0; i < rows; ++i)
        values << QVariantList { QStringLiteral("0101"), QStringLiteral("SQ%1").arg(i, 6, 10, QLatin1Char('0')),
            QStringLiteral("商圈名称%1").arg(i), i % 4 + 1 };
    return makePacket(defs, values);
}

// Runs `open` (which shows a modal dialog) and, once the dialog `isIt` picks is
// up, `shown` on it and closes it; the figure ends in `shown`.
void whenModalShown(const std::function<bool(QWidget *)> &isIt, const std::function<void(QWidget *)> &shown,
    const std::function<void()> &open)
{
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && isIt(modal) && modal->isVisible()) {
            poll.stop();
            shown(modal);
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
        }
    });
    poll.start();
    open();
}

void BM_OpenConditionBuilder(benchmark::State &state)
{
    const int n = int(state.range(0));
    const std::string size = sqda::bench::spaced(n);
    Host host;
    const QByteArray packet = areaPacket(n);
    QPointer<TfrmQuery> form = host.open();
    auto *grid = form ? form->findChild<TAdvDBGridEh *>() : nullptr;
    if (!grid || !grid->dataSet() || !grid->dataSet()->loadPacket(packet)) {
        state.SkipWithError("the query screen did not take the rows");
        for (auto _ : state) { }
        return;
    }
    QApplication::processEvents();
    const auto isBuilder = [](QWidget *w) { return qobject_cast<TFrmQuerySet *>(w) != nullptr; };
    // The builder's controls, from one open outside the figures.
    Controls controls;
    QSize builderSize;
    whenModalShown(
        isBuilder,
        [&](QWidget *w) {
            benchmark::DoNotOptimize(w->grab());
            count(w, controls);
            builderSize = w->size();
        },
        [&] { form->btnSearch->click(); });
    if (controls.total() == 0 || !form) {
        state.SkipWithError("the condition builder did not open");
        for (auto _ : state) { }
        return;
    }
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto ours = [&] {
            double t0 = 0;
            bool shown = false;
            whenModalShown(
                isBuilder,
                [&](QWidget *w) {
                    shown = !w->grab().isNull();
                    const double spent = sqda::bench::processCpuNow() - t0;
                    t += spent;
                    g_samples.add("condition builder" + size, spent);
                },
                [&] {
                    t0 = sqda::bench::processCpuNow();
                    form->btnSearch->click();
                });
            if (!shown || !form)
                state.SkipWithError("the condition builder did not open");
        };
        const auto floor = [&] {
            double t0 = 0;
            whenModalShown([](QWidget *w) { return w->objectName() == QLatin1String("bare"); },
                [&](QWidget *w) {
                    benchmark::DoNotOptimize(w->grab());
                    const double spent = sqda::bench::processCpuNow() - t0;
                    t += spent;
                    g_samples.add("condition builder floor" + size, spent);
                },
                [&] {
                    t0 = sqda::bench::processCpuNow();
                    QDialog bare(form);
                    bare.setObjectName(QStringLiteral("bare"));
                    bare.setWindowTitle(QStringLiteral("商圈档案查询"));
                    fillBare(&bare, controls);
                    bare.resize(builderSize);
                    bare.exec();
                });
        };
        floorFirst ? (floor(), ours()) : (ours(), floor());
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    state.counters["controls"] = controls.total();
    host.closeAll();
}
BENCHMARK(BM_OpenConditionBuilder)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Iterations(61)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The screens read and write their layout files under the host's home.
    QTemporaryDir home;
    qputenv("KALMORA_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    ensureLibraryInitialized();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_screens", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    const std::string screen = "BM_OpenQueryScreen/iterations:301/manual_time";
    if (reporter.ran(screen)) {
        const double ours = g_samples.median("query screen"), floor = g_samples.median("query screen floor");
        sqda::bench::Goals::note(
            "query screen to first paint: %.2f ms, floor %.2f ms (process CPU, median)", ours * 1e3, floor * 1e3);
        goals.atMost("opening the query screen to first paint / bare QWidget with the same controls",
            floor > 0 ? ours / floor : 0, 1.2, reporter.anyFailed({ screen }));
    }
    for (const int n : { 10'000, 100'000 }) {
        const std::string name = "BM_OpenConditionBuilder/" + std::to_string(n) + "/iterations:61/manual_time";
        if (!reporter.ran(name))
            continue;
        const std::string size = sqda::bench::spaced(n);
        const double ours = g_samples.median("condition builder" + size),
                     floor = g_samples.median("condition builder floor" + size);
        sqda::bench::Goals::note("condition builder to first paint over %d rows: %.2f ms, floor %.2f ms "
                                 "(process CPU, median)",
            n, ours * 1e3, floor * 1e3);
        goals.atMost("opening the condition builder to first paint / bare QDialog with the same controls, "
                + std::to_string(n) + " rows",
            floor > 0 ? ours / floor : 0, 1.2, reporter.anyFailed({ name }));
    }
    benchmark::Shutdown();
    releaseHostContext();
    sqda::bench::printLoad("bench_screens", "end");
    return goals.exitCode();
}
