// A search of a department holding a million trade areas on the query screen,
// through the reference host on SQLite: from the condition builder's OK to the
// painted listing, against the sqlite3 C API stepping the same SELECT on the same
// file into QStrings (the floor any Qt program pays), in the same run. Goal: at
// most 1.3x.
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
// Thread CPU time (the host runs on the screen's thread); the two sides take
// turns in one loop, and the medians and the fastest turns are printed, as the
// machine may be shared. BENCH_QUERY_SAMPLES=1 prints every turn.
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

constexpr qsizetype kRows = 1'000'000;
const char *const kDepartment = "0101"; // the demo chain's head office, where the session acts

double cpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::map<std::string, std::vector<double>> g_samples;

void sample(const char *name, double seconds)
{
    g_samples[name].push_back(seconds);
}

double median(const std::string &name)
{
    std::vector<double> v = g_samples[name];
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double fastest(const std::string &name)
{
    const std::vector<double> &v = g_samples[name];
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

const char *const NameParts[] = { "东城区", "王府井商圈", "西单", "中关村大街", "望京北区" };

// A million areas in the session's department, beside the demo chain's own.
bool fillAreas(const std::string &path)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(
        db, "insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values (?, ?, ?, ?, ?)", -1, &ins, nullptr);
    bool ok = ins != nullptr;
    for (qsizetype i = 1; ok && i <= kRows; ++i) {
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
    bool search(qsizetype expectRows)
    {
        double okAt = 0;
        // The builder is modal: answered from the event loop it runs.
        std::function<void()> answer = [&] {
            auto *dlg = qobject_cast<TFrmQuerySet *>(QApplication::activeModalWidget());
            if (!dlg) {
                QTimer::singleShot(0, form, answer);
                return;
            }
            okAt = cpuNow();
            dlg->btnOK->click();
        };
        QTimer::singleShot(0, form, answer);
        const int paints = counter.paints;
        service->queryStart = service->queryEnd = reloadAt = 0;
        form->btnSearch->click();
        const double searched = cpuNow();
        QApplication::processEvents(); // the listing is painted here
        const double painted = cpuNow();
        if (okAt == 0 || service->queryEnd == 0 || reloadAt == 0 || counter.paints == paints
            || form->cds->recordCount() != expectRows)
            return false;
        sample("search", painted - okAt);
        sample("host query + encode", service->queryEnd - service->queryStart);
        sample("decode", reloadAt - service->queryEnd);
        sample("reset", searched - reloadAt);
        sample("first paint", painted - searched);
        sample("rest", service->queryStart - okAt);
        return true;
    }
};

Screen *g_screen = nullptr;
std::string g_path;
qsizetype g_expectRows = 0;

// The floor: the same statement stepped with the C API, every text copied into
// a QString and the numbers read.
qsizetype floorRun()
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(g_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    const qsizetype rows = stepIntoQStrings(db, g_screen->service->statement.toUtf8());
    sqlite3_close(db);
    return rows;
}

void BM_SearchVsSqliteFloor(benchmark::State &state)
{
    Screen &s = *g_screen;
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto floor = [&] {
            const double t0 = cpuNow();
            const qsizetype rows = floorRun();
            const double spent = cpuNow() - t0;
            sample("sqlite3 floor", spent);
            t += spent;
            if (rows != g_expectRows)
                state.SkipWithError("the floor read a different row count");
        };
        const auto search = [&] {
            if (!s.search(g_expectRows))
                state.SkipWithError("the search did not fill and paint the listing");
            t += g_samples["search"].empty() ? 0 : g_samples["search"].back();
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
    state.counters["rows"] = double(g_expectRows);
}

BENCHMARK(BM_SearchVsSqliteFloor)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    QTemporaryDir dir;
    qputenv("KALMORA_HOME", dir.path().toLocal8Bit()); // the screen's settings file
    g_path = dir.filePath(QStringLiteral("bench.sqlite")).toStdString();
    const QString url = QStringLiteral("sqlite:") + QString::fromStdString(g_path);
    QString error;
    // The service creates the schema and the demo chain; the areas go in
    // through the C API.
    if (!kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error)) {
        std::fprintf(stderr, "SQLite: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "filling SQLite...\n");
    if (!fillAreas(g_path)) {
        std::fprintf(stderr, "could not fill the database\n");
        return 1;
    }
    kalmora::SqlDataService::Ptr service = kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error);
    if (!service) {
        std::fprintf(stderr, "SQLite: %s\n", qPrintable(error));
        return 1;
    }
    TimedService timed(service);
    auto screen = std::make_unique<Screen>(&timed);
    if (!screen->form) {
        std::fprintf(stderr, "the query screen did not open\n");
        return 1;
    }
    g_screen = screen.get();
    // One search first: the statement for the floor, the row count, warm caches
    // on both sides.
    if (!screen->search(-1) && timed.statement.isEmpty()) {
        std::fprintf(stderr, "the first search failed\n");
        return 1;
    }
    g_expectRows = screen->form->cds->recordCount();
    g_samples.clear();
    if (g_expectRows < kRows || floorRun() != g_expectRows) {
        std::fprintf(stderr, "the search found %lld rows\n", static_cast<long long>(g_expectRows));
        return 1;
    }
    std::fprintf(
        stderr, "statement: %s (%lld rows)\n", qPrintable(timed.statement), static_cast<long long>(g_expectRows));

    benchmark::RunSpecifiedBenchmarks();

    if (qEnvironmentVariableIsSet("BENCH_QUERY_SAMPLES")) {
        for (const auto &[name, v] : g_samples) {
            std::printf("%-22s", name.c_str());
            for (double x : v)
                std::printf(" %.1f", x * 1e3);
            std::printf("\n");
        }
    }
    std::printf(
        "\n%lld rows, medians of thread CPU time (fastest turns in brackets):\n", static_cast<long long>(g_expectRows));
    for (const char *stage : { "host query + encode", "decode", "reset", "first paint", "rest", "search" })
        std::printf("  %-20s %8.1f ms  (%.1f)\n", stage, median(stage) * 1e3, fastest(stage) * 1e3);
    std::printf(
        "  %-20s %8.1f ms  (%.1f)\n", "sqlite3 floor", median("sqlite3 floor") * 1e3, fastest("sqlite3 floor") * 1e3);
    if (median("sqlite3 floor") > 0)
        std::printf("  search / floor       %8.3f     (%.3f)  [<= 1.3]\n", median("search") / median("sqlite3 floor"),
            fastest("search") / fastest("sqlite3 floor"));
    benchmark::Shutdown();
    g_screen = nullptr;
    screen.reset();
    releaseHostContext();
    return 0;
}
