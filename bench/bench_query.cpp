// A search of a department holding 100k and 1M trade areas on the query screen,
// through the reference host on SQLite: from the condition builder's OK to the
// painted listing, against the sqlite3 C API stepping the same SELECT on the same
// file into QStrings (the floor any Qt program pays), in the same run. The floor's
// connection is opened as Qt's driver opens the host's (no per-call lock,
// SQLITE_OPEN_NOMUTEX), once, outside the timed region. Goal: at most 1.3x, warm
// (the median of alternating turns) and cold (the first search of a fresh
// process against the first floor run of another fresh process, each the median
// of five such processes, since a fresh process's figure swings with what the
// rest of the machine does to memory).
//
// The screen is opened with GetFormOneSearch over the host's SqlDataService,
// wrapped so the host's QueryData can be timed; its dataset's signals mark the
// other stages:
//   host    QueryData: the statement run and its rows encoded into a packet
//   decode  loadPacket up to the new rows (packet decoded and checked)
//   reset   the dataset's, model's and grid's reset, the count and the panel
//   paint   the first screen of the listing painted
//   rest    the dialog closing, the database kind asked, the screen repainted
//           before the host call
// Process CPU time (the packet decoder's page warmer works on a second thread);
// wall times are printed beside. BENCH_QUERY_SAMPLES=1 prints every turn.
#include "Goals.h"
#include "SqliteFloor.h"
#include "core/SqlDataService.h"
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "query/QueryButton.h"
#include "query/TAdvDBGridEh.h"
#include "query/TFrmQuerySet.h"
#include "query/TfrmQuery.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <time.h>
#include <vector>

extern "C" void GetFormOneSearch(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;

namespace {

constexpr qsizetype Small = 100'000;
constexpr qsizetype Large = 1'000'000;
const char *const kDepartment = "0101"; // the demo chain's head office, where the session acts

double cpuNow()
{
    return sqda::bench::processCpuNow();
}

sqda::bench::Samples g_samples;

void sample(const std::string &name, double seconds)
{
    g_samples.add(name, seconds);
}

const char *const NameParts[] = { "东城区", "王府井商圈", "西单", "中关村大街", "望京北区" };

// `rows` areas in the session's department, beside the demo chain's own.
bool fillAreas(const std::string &path, qsizetype rows)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(
        db, "insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values (?, ?, ?, ?, ?)", -1, &ins, nullptr);
    bool ok = ins != nullptr;
    for (qsizetype i = 1; ok && i <= rows; ++i) {
        char code[24];
        std::snprintf(code, sizeof code, "%010lld", static_cast<long long>(i));
        const std::string name = std::string(NameParts[i % 5]) + std::to_string(i);
        sqlite3_bind_text(ins, 1, kDepartment, -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, code, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, int(1 + i % 4));
        sqlite3_bind_int(ins, 5, i % 3 == 0 ? 0 : 1);
        ok = sqlite3_step(ins) == SQLITE_DONE;
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, ok ? "commit; analyze" : "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return ok;
}

// The host's service as the screen sees it, with its QueryData timed and the
// statement it ran kept for the floor.
class TimedService : public ICoorDisp
{
public:
    explicit TimedService(kalmora::SqlDataService::Ptr service)
        : m_service(std::move(service))
    {
    }
    unsigned long AddRef() override { return ++m_refs; }
    unsigned long Release() override { return --m_refs; } // lives on the stack of main()
    QVariant Invoke(int dispId, QVariantList &args) override
    {
        if (dispId != DispQueryData)
            return m_service->Invoke(dispId, args);
        statement = args.value(0).toString();
        queryStart = cpuNow();
        QVariant answer = m_service->Invoke(dispId, args);
        queryEnd = cpuNow();
        return answer;
    }

    QString statement;
    double queryStart = 0, queryEnd = 0;

private:
    kalmora::SqlDataService::Ptr m_service;
    unsigned long m_refs = 1;
};

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

struct Screen
{
    TimedService *service = nullptr;
    QWidget appWindow;
    QWidget *hostControl = nullptr;
    QWidget *parentControl = nullptr;
    TfrmQuery *form = nullptr;
    PaintCounter counter;
    double reloadAt = 0; // the dataset's aboutToReload, in this turn

    explicit Screen(TimedService *s)
        : service(s)
    {
        appWindow.resize(900, 640);
        hostControl = new QWidget(&appWindow); // owned by the window
        parentControl = new QWidget(&appWindow);
        parentControl->setGeometry(0, 0, 900, 640);
        appWindow.show();
        const QByteArray op = toShortString("0001");
        GetFormOneSearch(
            &appWindow, hostControl, reinterpret_cast<const uchar *>(op.constData()), parentControl, service);
        form = parentControl->findChild<TfrmQuery *>();
        if (!form)
            return;
        QApplication::processEvents();
        form->dgdView->viewport()->installEventFilter(&counter);
        QObject::connect(form->cds, &ClientDataSet::aboutToReload, form, [this] { reloadAt = cpuNow(); });
    }

    // One search with no condition, as the user runs it: the button, the
    // condition builder answered with OK, the listing painted. False when the
    // listing was not filled and painted.
    bool search(qsizetype expectRows, const std::string &suffix = {})
    {
        double okAt = 0, okWall = 0;
        // The builder is modal: answered from the event loop it runs.
        std::function<void()> answer = [&] {
            auto *dlg = qobject_cast<TFrmQuerySet *>(QApplication::activeModalWidget());
            if (!dlg) {
                QTimer::singleShot(0, form, answer);
                return;
            }
            okAt = cpuNow();
            okWall = sqda::bench::wallNow();
            dlg->btnOK->click();
        };
        QTimer::singleShot(0, form, answer);
        const int paints = counter.paints;
        service->queryStart = service->queryEnd = reloadAt = 0;
        form->btnSearch->click();
        const double searched = cpuNow();
        QApplication::processEvents(); // the listing is painted here
        const double painted = cpuNow();
        const double paintedWall = sqda::bench::wallNow();
        if (okAt == 0 || service->queryEnd == 0 || reloadAt == 0 || counter.paints == paints
            || (expectRows >= 0 && form->cds->recordCount() != expectRows))
            return false;
        sample("search" + suffix, painted - okAt);
        sample("search wall" + suffix, paintedWall - okWall);
        sample("host query + encode" + suffix, service->queryEnd - service->queryStart);
        sample("decode" + suffix, reloadAt - service->queryEnd);
        sample("reset" + suffix, searched - reloadAt);
        sample("first paint" + suffix, painted - searched);
        sample("rest" + suffix, service->queryStart - okAt);
        return true;
    }
};

// The floor's connection, opened as Qt's driver opens the host's: read-only
// here, without SQLite's per-call lock; opened outside the timed region.
struct FloorConnection
{
    sqlite3 *db = nullptr;
    explicit FloorConnection(const std::string &path)
    {
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    ~FloorConnection() { sqlite3_close(db); }
    FloorConnection(const FloorConnection &) = delete;
    FloorConnection &operator=(const FloorConnection &) = delete;
};

// One size's database, host service and open screen.
struct Setup
{
    qsizetype size = 0;
    QTemporaryDir dir;
    std::string path;
    QString url;
    kalmora::SqlDataService::Ptr service;
    std::unique_ptr<TimedService> timed;
    std::unique_ptr<Screen> screen;
    std::unique_ptr<FloorConnection> floor;
    qsizetype expectRows = 0;
    QString error;

    // Fills a new file (or opens `existing`), opens the service and the screen.
    bool open(qsizetype rows, const std::string &existing = {})
    {
        size = rows;
        path = existing.empty() ? dir.filePath(QStringLiteral("bench.sqlite")).toStdString() : existing;
        url = QStringLiteral("sqlite:") + QString::fromStdString(path);
        if (existing.empty()) {
            // The service creates the schema and the demo chain; the areas go in
            // through the C API.
            if (!kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error))
                return false;
            std::fprintf(stderr, "filling SQLite with %lld rows...\n", static_cast<long long>(rows));
            if (!fillAreas(path, rows)) {
                error = QStringLiteral("could not fill the database");
                return false;
            }
        }
        service = kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error);
        if (!service)
            return false;
        timed = std::make_unique<TimedService>(service);
        screen = std::make_unique<Screen>(timed.get());
        if (!screen->form) {
            error = QStringLiteral("the query screen did not open");
            return false;
        }
        floor = std::make_unique<FloorConnection>(path);
        return true;
    }

    // The floor: the same statement stepped with the C API, every text copied
    // into a QString and the numbers read.
    qsizetype floorRun() { return stepIntoQStrings(floor->db, timed->statement.toUtf8()); }

    ~Setup()
    {
        screen.reset();
        releaseHostContext();
    }
};

std::unique_ptr<Setup> g_setup;
QString g_program;

bool useSize(qsizetype rows)
{
    if (g_setup && g_setup->size == rows)
        return true;
    g_setup.reset();
    g_setup = std::make_unique<Setup>();
    if (!g_setup->open(rows)) {
        std::fprintf(stderr, "%s\n", qPrintable(g_setup->error));
        return false;
    }
    // One search first: the statement for the floor, the row count.
    if (!g_setup->screen->search(-1, " (first)") || g_setup->timed->statement.isEmpty())
        return false;
    g_setup->expectRows = g_setup->screen->form->cds->recordCount();
    std::fprintf(stderr, "statement: %s (%lld rows)\n", qPrintable(g_setup->timed->statement),
        static_cast<long long>(g_setup->expectRows));
    return g_setup->expectRows >= rows && g_setup->floorRun() == g_setup->expectRows;
}

// A fresh process's first search or first floor run on this size's file, in
// process CPU seconds; 0 when it failed.
double coldRun(const char *what)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BENCH_QUERY_COLD"), QString::fromLatin1(what));
    env.insert(QStringLiteral("BENCH_QUERY_DB"), QString::fromStdString(g_setup->path));
    env.insert(QStringLiteral("BENCH_QUERY_SQL"), g_setup->timed->statement);
    env.insert(QStringLiteral("BENCH_QUERY_ROWS"), QString::number(g_setup->expectRows));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(g_program, {});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return 0;
    return QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble();
}

// In the child: one cold run, its process CPU seconds on standard output.
int coldChild(const QByteArray &what)
{
    const std::string path = qEnvironmentVariable("BENCH_QUERY_DB").toStdString();
    const qsizetype rows = qEnvironmentVariable("BENCH_QUERY_ROWS").toLongLong();
    double seconds = 0;
    if (what == "floor") {
        FloorConnection floor(path);
        const QByteArray sql = qEnvironmentVariable("BENCH_QUERY_SQL").toUtf8();
        const double t0 = cpuNow();
        if (stepIntoQStrings(floor.db, sql) != rows)
            return 1;
        seconds = cpuNow() - t0;
    } else {
        Setup setup;
        if (!setup.open(rows, path) || !setup.screen->search(rows))
            return 1;
        seconds = g_samples.last("search");
    }
    std::printf("%.6f\n", seconds);
    return 0;
}

void BM_SearchVsSqliteFloor(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    if (!useSize(n)) {
        state.SkipWithError("the screen or the first search failed");
        for (auto _ : state) { }
        return;
    }
    Setup &s = *g_setup;
    const std::string suffix = sqda::bench::spaced(n);
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto floor = [&] {
            const double t0 = cpuNow(), w0 = sqda::bench::wallNow();
            const qsizetype rows = s.floorRun();
            const double spent = cpuNow() - t0;
            sample("sqlite3 floor" + suffix, spent);
            sample("sqlite3 floor wall" + suffix, sqda::bench::wallNow() - w0);
            t += spent;
            if (rows != s.expectRows)
                state.SkipWithError("the floor read a different row count");
        };
        const auto search = [&] {
            if (!s.screen->search(s.expectRows, suffix))
                state.SkipWithError("the search did not fill and paint the listing");
            t += g_samples.last("search" + suffix);
        };
        if (floorFirst) {
            floor();
            search();
        } else {
            search();
            floor();
        }
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
    // Cold: fresh processes, floor and screen in turns.
    for (int i = 0; i < 5; ++i) {
        sample("cold floor" + suffix, coldRun("floor"));
        sample("cold search" + suffix, coldRun("search"));
    }
    state.counters["rows"] = double(s.expectRows);
}

BENCHMARK(BM_SearchVsSqliteFloor)
    ->Arg(Small)
    ->Arg(Large)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(7);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("KALMORA_HOME", home.path().toLocal8Bit()); // the screen's settings file
    if (const QByteArray cold = qgetenv("BENCH_QUERY_COLD"); !cold.isEmpty())
        return coldChild(cold);
    g_program = QCoreApplication::applicationFilePath();
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_query", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    g_setup.reset();

    if (qEnvironmentVariableIsSet("BENCH_QUERY_SAMPLES")) {
        for (const auto &[name, v] : g_samples.all()) {
            std::printf("%-30s", name.c_str());
            for (double x : v)
                std::printf(" %.1f", x * 1e3);
            std::printf("\n");
        }
    }
    sqda::bench::Goals goals;
    for (const qsizetype n : { Small, Large }) {
        const std::string bench = "BM_SearchVsSqliteFloor/" + std::to_string(n) + "/iterations:7/manual_time";
        if (!reporter.ran(bench))
            continue;
        const bool failed = reporter.anyFailed({ bench });
        const std::string sfx = sqda::bench::spaced(n);
        sqda::bench::Goals::note(
            "%lld rows, medians of process CPU time (fastest turns in brackets):", static_cast<long long>(n));
        for (const char *stage :
            { "host query + encode", "decode", "reset", "first paint", "rest", "search", "sqlite3 floor" })
            sqda::bench::Goals::note("  %-20s %8.1f ms  (%.1f)", stage, g_samples.median(stage + sfx) * 1e3,
                g_samples.fastest(stage + sfx) * 1e3);
        sqda::bench::Goals::note("  %-20s %8.1f ms / floor %.1f ms", "search wall",
            g_samples.median("search wall" + sfx) * 1e3, g_samples.median("sqlite3 floor wall" + sfx) * 1e3);
        sqda::bench::Goals::note("  %-20s %8.1f ms / cold floor %.1f ms", "cold search",
            g_samples.median("cold search" + sfx) * 1e3, g_samples.median("cold floor" + sfx) * 1e3);
        const auto ratio = [&](const std::string &a, const std::string &b) {
            const double d = g_samples.median(b + sfx);
            return d > 0 ? g_samples.median(a + sfx) / d : 0;
        };
        goals.atMost("search / sqlite3 floor (warm), " + std::to_string(n) + " rows", ratio("search", "sqlite3 floor"),
            1.3, failed);
        goals.atMost("search / sqlite3 floor (cold process), " + std::to_string(n) + " rows",
            ratio("cold search", "cold floor"), 1.3,
            failed || g_samples.fastest("cold search" + sfx) <= 0 || g_samples.fastest("cold floor" + sfx) <= 0);
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_query", "end");
    return goals.exitCode();
}
