// Sixteen workstations on one SQLite file, each with its own host service and
// connection on a thread of its own, doing what users of the maintenance screen
// do: load the tree, check a new code, insert it, rename it, read the parameters,
// delete it. Every station works below a level-1 area of its own, so no call has
// a reason to fail but the database's locking; all of them contend for the file.
//
// Bounded in count (calls per station, the argument) and in time (a deadline),
// it reports per run: calls made, calls that failed (the goal is 0), starts that
// failed, the share of calls that waited more than a second, the slowest call
// and the 99th percentile.
#include "Goals.h"
#include "core/SqlDataService.h"

#include "data/DataStore.h"
#include "data/Packet.h"

#include <sqda/ICoorDisp.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace kalmora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Stations = 16;
constexpr auto Deadline = std::chrono::seconds(120);
const QString Department = QStringLiteral("0301"); // structure 2-2-2-2, no areas in the demo chain

QByteArray areaPacket(const QString &code, int level)
{
    sqda::DataStore s({ { QStringLiteral("f_bmbm"), sqda::FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), sqda::FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), sqda::FieldType::String, 40, {} },
        { QStringLiteral("f_jb"), sqda::FieldType::Int32, 0, {} } });
    s.appendString(0, Department);
    s.appendString(1, code);
    s.appendString(2, QStringLiteral("压力测试商圈"));
    s.appendInt(3, level);
    s.commitRow();
    return sqda::Packet::encode(s);
}

struct Tally
{
    std::mutex lock;
    std::vector<double> seconds; // every call's duration
    int failed = 0;
    int startsFailed = 0;
    QStringList firstFailures;
};

void station(int index, const QString &url, int calls, Clock::time_point deadline, std::barrier<> &start, Tally &tally)
{
    std::vector<double> mine;
    int failed = 0;
    QStringList failures;
    start.arrive_and_wait();
    QString error;
    SqlDataService::Ptr service = SqlDataService::open(url, Department, &error);
    if (!service) {
        std::lock_guard g(tally.lock);
        ++tally.startsFailed;
        tally.firstFailures << QStringLiteral("start: ") + error;
        return;
    }
    const auto call = [&](int dispId, QVariantList args) {
        const auto t0 = Clock::now();
        const bool ok = service->Invoke(dispId, args).toBool();
        mine.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        if (!ok) {
            ++failed;
            const int at = dispId == sqda::DispQueryData ? 1 : 0;
            QStringList lines;
            for (const QVariant &l : args.value(at).toList())
                lines << l.toString();
            if (failures.size() < 3)
                failures << QStringLiteral("%1: %2").arg(dispId).arg(lines.join(u' '));
        }
        return ok;
    };

    const QString parent = QStringLiteral("%1").arg(10 + index, 2, 10, QLatin1Char('0'));
    call(sqda::DispInsertArea, { areaPacket(parent, 1) });
    const QString tree = QStringLiteral("select * from tbSqda where f_bmbm='%1' order by F_Sqbm").arg(Department);
    for (int n = 0; int(mine.size()) < calls && Clock::now() < deadline; ++n) {
        const QString code = parent + QStringLiteral("%1").arg(n % 100, 2, 10, QLatin1Char('0'));
        call(sqda::DispQueryData, { tree, QVariant() });
        call(sqda::DispCheckAreaCode, { QVariantList { Department, code } });
        call(sqda::DispInsertArea, { areaPacket(code, 2) });
        call(sqda::DispExecuteSql,
            { QStringLiteral("update tbsqda set f_sqmc='改名%1' where f_sqbm='%2' and f_bmbm='%3'")
                    .arg(n)
                    .arg(code, Department) });
        call(sqda::DispGetSystemParameters, { QVariant() });
        call(sqda::DispDeleteArea, { QVariantList { Department, code } });
    }
    std::lock_guard g(tally.lock);
    tally.seconds.insert(tally.seconds.end(), mine.begin(), mine.end());
    tally.failed += failed;
    tally.firstFailures << failures;
}

void BM_SixteenSqliteWorkstations(benchmark::State &state)
{
    const int calls = int(state.range(0));
    Tally tally;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("load.sqlite"));
        {
            QString error;
            if (!SqlDataService::open(url, Department, &error)) {
                state.SkipWithError(qPrintable(error));
                return;
            }
        }
        tally.seconds.clear();
        tally.failed = tally.startsFailed = 0;
        tally.firstFailures.clear();
        state.ResumeTiming();

        const auto deadline = Clock::now() + Deadline;
        std::barrier<> start(Stations);
        std::vector<std::thread> threads;
        for (int s = 0; s < Stations; ++s)
            threads.emplace_back(station, s, url, calls, deadline, std::ref(start), std::ref(tally));
        for (std::thread &t : threads)
            t.join();
    }

    std::vector<double> &d = tally.seconds;
    std::sort(d.begin(), d.end());
    const auto over = std::count_if(d.begin(), d.end(), [](double s) { return s > 1.0; });
    state.counters["calls"] = double(d.size());
    state.counters["failed"] = tally.failed;
    state.counters["starts_failed"] = tally.startsFailed;
    state.counters["waits_over_1s_pct"] = d.empty() ? 0.0 : 100.0 * double(over) / double(d.size());
    state.counters["p99_ms"] = d.empty() ? 0.0 : 1000.0 * d[std::min(d.size() - 1, d.size() * 99 / 100)];
    state.counters["max_ms"] = d.empty() ? 0.0 : 1000.0 * d.back();
    for (const QString &f : tally.firstFailures)
        fprintf(stderr, "failure: %s\n", qPrintable(f));
}

} // namespace

// 1400 calls per station (six operations a round): 22,400 calls in all.
BENCHMARK(BM_SixteenSqliteWorkstations)->Arg(1400)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // the SQL driver plug-ins are found through it
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_sqlite_load", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    const std::string name = "BM_SixteenSqliteWorkstations/1400/iterations:1/real_time";
    if (reporter.ran(name)) {
        const double calls = reporter.counter(name, "calls"), failed = reporter.counter(name, "failed");
        sqda::bench::Goals::note("sixteen workstations: %.0f calls, %.0f failed, %.0f starts failed, %.2f %% waited "
                                 "over 1 s, p99 %.1f ms, slowest %.1f ms",
            calls, failed, reporter.counter(name, "starts_failed"), reporter.counter(name, "waits_over_1s_pct"),
            reporter.counter(name, "p99_ms"), reporter.counter(name, "max_ms"));
        goals.atLeast("sixteen SQLite workstations, calls that succeeded / calls made",
            calls > 0 ? (calls - failed) / calls : 0, 1.0,
            reporter.anyFailed({ name }) || reporter.counter(name, "starts_failed") > 0);
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_sqlite_load", "end");
    return goals.exitCode();
}
