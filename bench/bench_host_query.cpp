// The reference host's QueryData at scale: what a screen pays to get 100k and
// 1M trade-area rows of one department, from the statement to a loaded
// ClientDataSet, on SQLite and on PostgreSQL.
//
// Each path is measured against a floor in the same process, run after run
// in turn with it (floor_ms, floor_cpu_ms):
// - SQLite: the sqlite3 C API stepping the same SELECT on the same file and
//   copying each text into a QString, on a connection opened as Qt's driver
//   opens the host's: without SQLite's per-call lock (SQLITE_OPEN_NOMUTEX),
//   outside the timed region (BM_SqliteFloor keeps the library's default lock,
//   for comparison);
// - PostgreSQL: libpq's PQexec of the same SELECT, reading every value.
// Host runs report their stages (the host's QueryData, the library's
// loadPacket, and the first load of the process apart: cold_load_ms) and, from
// one extra run, the peak memory of the whole path against the size of the
// data. Goals: at most 1.0x the SQLite floor, 1.3x the libpq floor, peak at
// most 3.5x the data. x_floor compares wall times; x_floor_cpu processor
// times, on PostgreSQL this process's and the server process's together
// (cpu_ms): on a shared machine the wall time mostly measures the others.
// BM_LibpqSingleRow, BM_LibpqCursor and BM_LibpqCopy are the ways of reading
// a large result with bounded memory the host chose among; they run with
// BENCH_HOST_QUERY_CHOICES=1.
//
// PostgreSQL: a throw-away server is started on loopback with the tests'
// fixture script (tests/hostapp/pg_fixture.sh), or KALMORA_BENCH_PG_URL names
// one; without either the PostgreSQL runs are skipped.
#include "Goals.h"
#include "PgFixture.h"
#include "SqliteFloor.h"
#include "core/PacketBuilder.h"
#include "core/SqlDataService.h"

#include "data/BulkAllocator.h"
#include "data/ClientDataSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

using namespace kalmora;

namespace {

constexpr qsizetype Small = 100000;
constexpr qsizetype Large = 1000000;

// The department holding `rows` rows: the large one and a small one.
const char *department(qsizetype rows)
{
    return rows == Large ? "0101" : "0102";
}

std::string statement(qsizetype rows)
{
    return std::string("select * from tbsqda where f_bmbm='") + department(rows) + "' order by f_sqbm";
}

const char *const NameParts[] = { "东城区", "王府井商圈", "西单", "中关村大街", "望京北区" };

// The data's own size: text as UTF-8 and 8 bytes per integer.
std::map<qsizetype, qint64> dataBytes;

struct Backend
{
    SqlDataService::Ptr service;
    QString url;
};

Backend sqlite;
Backend postgres;
std::string sqlitePath;

// ---------------------------------------------------------------- set-up

void fillSqlite(const std::string &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(db, "insert into tbsqda values (?, ?, ?, ?, ?)", -1, &ins, nullptr);
    for (const qsizetype n : { Large, Small }) {
        qint64 bytes = 0;
        for (qsizetype i = 1; i <= n; ++i) {
            char code[24];
            std::snprintf(code, sizeof code, "%010lld", static_cast<long long>(i));
            const std::string name = std::string(NameParts[i % 5]) + std::to_string(i);
            sqlite3_bind_text(ins, 1, department(n), -1, SQLITE_STATIC);
            sqlite3_bind_text(ins, 2, code, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 3, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int(ins, 4, int(1 + i % 4));
            sqlite3_bind_int(ins, 5, i % 3 == 0 ? 0 : 1);
            sqlite3_step(ins);
            sqlite3_reset(ins);
            bytes += 4 + 10 + qint64(name.size()) + 16;
        }
        dataBytes[n] = bytes;
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "commit; analyze", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

bool pgCommand(PGconn *c, const char *sql)
{
    PGresult *r = PQexec(c, sql);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    if (!ok)
        std::fprintf(stderr, "PostgreSQL: %s", PQerrorMessage(c));
    PQclear(r);
    return ok;
}

bool fillPostgres(const QString &url)
{
    PGconn *c = PQconnectdb(url.toUtf8().constData());
    if (PQstatus(c) != CONNECTION_OK) {
        std::fprintf(stderr, "PostgreSQL: %s", PQerrorMessage(c));
        PQfinish(c);
        return false;
    }
    // The same rows as on SQLite.
    bool ok = pgCommand(c, "delete from tbsqda");
    for (const qsizetype n : { Large, Small }) {
        const std::string sql = "insert into tbsqda select '" + std::string(department(n))
            + "', lpad(g::text, 10, '0'), (array['东城区','王府井商圈','西单','中关村大街','望京北区'])[1 + g % 5] "
              "|| g, 1 + g % 4, case when g % 3 = 0 then 0 else 1 end from generate_series(1, "
            + std::to_string(n) + ") g";
        ok = ok && pgCommand(c, sql.c_str());
    }
    ok = ok && pgCommand(c, "vacuum analyze tbsqda");
    PQfinish(c);
    return ok;
}

sqda::bench::PgFixture pgFixture;

// ---------------------------------------------------------------- memory

qint64 statusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string k(key);
    while (std::getline(in, line)) {
        if (line.compare(0, k.size(), k) == 0)
            return std::atoll(line.c_str() + k.size() + 1);
    }
    return -1;
}

// The most memory `run` held at once beyond what the process held before it.
template<typename F> qint64 peakBytes(F &&run)
{
    // Memory freed by earlier runs goes back (the kept column buffers and the
    // host's spare packet buffer too), so it is not reused unseen.
    sqda::bulkReleasePooled();
    PacketBuilder::releaseSpare();
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5"; // restarts the high-water mark
    const qint64 before = statusKb("VmRSS:");
    run();
    const qint64 peak = statusKb("VmHWM:");
    return before < 0 || peak < 0 ? -1 : (peak - before) * 1024;
}

// ---------------------------------------------------------------- runs

// This process's processor time: the machine may be shared, and a run that
// waits for a processor says nothing about the path; the server's work on
// PostgreSQL is in another process, so there only the wall time compares.
double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A server process's processor time, from /proc (the server runs on this
// machine). Added to this process's own, it gives the work a PostgreSQL path
// costs in all, which a busy machine disturbs far less than the wall time.
double processCpuSeconds(int pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')'); // the command name may hold blanks
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) // utime, stime
            ticks += std::atof(field.c_str());
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

int hostBackendPid = 0; // the PostgreSQL service's server process

// One run of the libpq floor: PQexec and read every value.
qsizetype libpqFloorOnce(PGconn *c, const std::string &sql)
{
    PGresult *r = PQexec(c, sql.c_str());
    const int rows = PQntuples(r), cols = PQnfields(r);
    qint64 sum = 0;
    for (int i = 0; i < rows; ++i) {
        for (int k = 0; k < cols; ++k) {
            benchmark::DoNotOptimize(PQgetvalue(r, i, k));
            sum += PQgetlength(r, i, k);
        }
    }
    PQclear(r);
    benchmark::DoNotOptimize(sum);
    return rows;
}

// A floor's own connection, for runs alternating with the host's.
struct Floor
{
    sqlite3 *db = nullptr;
    PGconn *pg = nullptr;
    std::string sql;

    // `noMutex`: the SQLite connection without its per-call lock, as Qt's
    // driver opens the host's; BM_SqliteFloor keeps the library's default.
    Floor(bool postgresql, qsizetype n, bool noMutex = true)
        : sql(statement(n))
    {
        if (postgresql)
            pg = PQconnectdb(postgres.url.toUtf8().constData());
        else
            sqlite3_open_v2(
                sqlitePath.c_str(), &db, SQLITE_OPEN_READONLY | (noMutex ? SQLITE_OPEN_NOMUTEX : 0), nullptr);
    }
    ~Floor()
    {
        if (pg)
            PQfinish(pg);
        if (db)
            sqlite3_close(db);
    }
    Floor(const Floor &) = delete;
    Floor &operator=(const Floor &) = delete;

    qsizetype run() { return pg ? libpqFloorOnce(pg, sql) : stepIntoQStrings(db, sql); }
    // Processor time of the floor's server process, on PostgreSQL.
    double serverCpu() const { return pg ? processCpuSeconds(PQbackendPID(pg)) : 0; }
};

void BM_SqliteFloor(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    Floor floor(false, n, false);
    for (auto _ : state) {
        if (floor.run() != n)
            state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_LibpqFloor(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    if (postgres.url.isEmpty()) {
        state.SkipWithError("no PostgreSQL server");
        return;
    }
    Floor floor(true, n);
    const double server0 = floor.serverCpu();
    const double cpu0 = cpuSeconds() + server0;
    for (auto _ : state) {
        if (floor.run() != n)
            state.SkipWithError("wrong row count");
    }
    const double runs = double(state.iterations());
    state.counters["cpu_ms"] = (cpuSeconds() + floor.serverCpu() - cpu0) / runs * 1000;
    state.counters["server_cpu_ms"] = (floor.serverCpu() - server0) / runs * 1000;
    state.SetItemsProcessed(state.iterations() * n);
}

// For the choice between a cursor and libpq's single-row mode: the same rows
// read one result object per row.
void BM_LibpqSingleRow(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    if (postgres.url.isEmpty()) {
        state.SkipWithError("no PostgreSQL server");
        return;
    }
    PGconn *c = PQconnectdb(postgres.url.toUtf8().constData());
    const std::string sql = statement(n);
    for (auto _ : state) {
        PQsendQuery(c, sql.c_str());
        PQsetSingleRowMode(c);
        qint64 sum = 0, rows = 0;
        while (PGresult *r = PQgetResult(c)) {
            if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
                for (int k = 0; k < PQnfields(r); ++k) {
                    benchmark::DoNotOptimize(PQgetvalue(r, 0, k));
                    sum += PQgetlength(r, 0, k);
                }
                ++rows;
            }
            PQclear(r);
        }
        benchmark::DoNotOptimize(sum);
        if (rows != n)
            state.SkipWithError("wrong row count");
    }
    PQfinish(c);
    state.SetItemsProcessed(state.iterations() * n);
}

// For the cursor's batch size: the same rows fetched from a cursor in a
// read-only transaction, `batch` rows per FETCH, the next one asked for before
// the current one is read, as the host does.
void BM_LibpqCursor(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    const int batch = int(state.range(1));
    if (postgres.url.isEmpty()) {
        state.SkipWithError("no PostgreSQL server");
        return;
    }
    PGconn *c = PQconnectdb(postgres.url.toUtf8().constData());
    const std::string declare = "declare c no scroll cursor for " + statement(n);
    const std::string fetch = "fetch forward " + std::to_string(batch) + " from c";
    const double cpu0 = cpuSeconds(), server0 = processCpuSeconds(PQbackendPID(c));
    for (auto _ : state) {
        pgCommand(c, "begin read only");
        pgCommand(c, "set local cursor_tuple_fraction = 1");
        PQclear(PQexecParams(c, declare.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
        qint64 sum = 0, rows = 0;
        PQsendQuery(c, fetch.c_str());
        for (;;) {
            PGresult *r = PQgetResult(c);
            while (PGresult *extra = PQgetResult(c))
                PQclear(extra);
            const int got = PQntuples(r);
            if (got == batch)
                PQsendQuery(c, fetch.c_str());
            for (int i = 0; i < got; ++i) {
                for (int k = 0; k < PQnfields(r); ++k) {
                    benchmark::DoNotOptimize(PQgetvalue(r, i, k));
                    sum += PQgetlength(r, i, k);
                }
            }
            rows += got;
            PQclear(r);
            if (got < batch)
                break;
        }
        pgCommand(c, "rollback");
        benchmark::DoNotOptimize(sum);
        if (rows != n)
            state.SkipWithError("wrong row count");
    }
    const double runs = double(state.iterations());
    state.counters["client_cpu_ms"] = (cpuSeconds() - cpu0) / runs * 1000;
    state.counters["server_cpu_ms"] = (processCpuSeconds(PQbackendPID(c)) - server0) / runs * 1000;
    PQfinish(c);
    state.SetItemsProcessed(state.iterations() * n);
}

// For the choice of COPY: the same rows as COPY (query) TO STDOUT, one
// message per row, split into fields.
void BM_LibpqCopy(benchmark::State &state)
{
    const qsizetype n = state.range(0);
    if (postgres.url.isEmpty()) {
        state.SkipWithError("no PostgreSQL server");
        return;
    }
    PGconn *c = PQconnectdb(postgres.url.toUtf8().constData());
    const std::string copy = "copy (" + statement(n) + ") to stdout";
    const double cpu0 = cpuSeconds(), server0 = processCpuSeconds(PQbackendPID(c));
    for (auto _ : state) {
        PQsendQueryParams(c, copy.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
        PGresult *r = PQgetResult(c);
        PQclear(r);
        qint64 sum = 0, rows = 0;
        char *line = nullptr;
        int len = 0;
        while ((len = PQgetCopyData(c, &line, 0)) > 0) {
            const char *p = line, *end = line + len;
            while (p < end) {
                const char *tab = static_cast<const char *>(std::memchr(p, '\t', size_t(end - p)));
                const char *stop = tab ? tab : end - 1;
                sum += stop - p;
                benchmark::DoNotOptimize(p);
                p = stop + 1;
            }
            PQfreemem(line);
            ++rows;
        }
        while (PGresult *extra = PQgetResult(c))
            PQclear(extra);
        benchmark::DoNotOptimize(sum);
        if (rows != n)
            state.SkipWithError("wrong row count");
    }
    const double runs = double(state.iterations());
    state.counters["client_cpu_ms"] = (cpuSeconds() - cpu0) / runs * 1000;
    state.counters["server_cpu_ms"] = (processCpuSeconds(PQbackendPID(c)) - server0) / runs * 1000;
    PQfinish(c);
    state.SetItemsProcessed(state.iterations() * n);
}

// One whole path: QueryData in the host, loadPacket in the library.
// The load stage's processor time (user and system, page faults and
// compaction included), which a busy machine disturbs less than the wall time.
double loadCpuSeconds = 0;

bool hostPath(SqlDataService &service, qsizetype n, double *querySeconds, double *loadSeconds, qint64 *packetBytes)
{
    const auto t0 = std::chrono::steady_clock::now();
    QVariantList args { QString::fromStdString(statement(n)), QVariant() };
    if (!service.Invoke(sqda::DispQueryData, args).toBool())
        return false;
    const auto t1 = std::chrono::steady_clock::now();
    sqda::ClientDataSet ds;
    const QByteArray packet = args[1].toByteArray();
    const double cpu0 = cpuSeconds();
    if (!ds.loadPacket(packet) || ds.recordCount() != n)
        return false;
    loadCpuSeconds += cpuSeconds() - cpu0;
    const auto t2 = std::chrono::steady_clock::now();
    *querySeconds += std::chrono::duration<double>(t1 - t0).count();
    *loadSeconds += std::chrono::duration<double>(t2 - t1).count();
    *packetBytes = packet.size();
    return true;
}

// Host runs alternate with runs of their floor, so that both meet the same
// machine: on a shared one the speed drifts from one block of runs to the
// next by more than the difference measured here.
void hostRun(benchmark::State &state, Backend &backend)
{
    const qsizetype n = state.range(0);
    if (!backend.service) {
        state.SkipWithError("no database");
        return;
    }
    double query = 0, load = 0;
    qint64 packetBytes = 0;
    // The first load of this size in the process, apart: a user's search is
    // often the first in a fresh process, where the memory is still cold.
    static std::map<std::pair<const Backend *, qsizetype>, std::pair<double, double>> coldLoads; // wall and CPU seconds
    auto &coldLoad = coldLoads;
    const auto key = std::pair<const Backend *, qsizetype> { &backend, n };
    if (!coldLoad.count(key)) {
        double q = 0, l = 0;
        loadCpuSeconds = 0;
        if (!hostPath(*backend.service.get(), n, &q, &l, &packetBytes)) {
            state.SkipWithError("QueryData or loadPacket failed");
            return;
        }
        coldLoad[key] = { l, loadCpuSeconds };
    }
    state.counters["cold_load_ms"] = coldLoad[key].first * 1000;
    state.counters["cold_load_cpu_ms"] = coldLoad[key].second * 1000;
    loadCpuSeconds = 0;
    const bool onPostgres = &backend == &postgres;
    Floor floor(onPostgres, n);
    const auto hostServerCpu = [&] { return onPostgres ? processCpuSeconds(hostBackendPid) : 0.0; };
    double cpu = 0, floorWall = 0, floorCpu = 0;
    for (auto _ : state) {
        const double f0 = cpuSeconds() + floor.serverCpu();
        const auto t0 = std::chrono::steady_clock::now();
        if (floor.run() != n) {
            state.SkipWithError("wrong row count from the floor");
            return;
        }
        floorWall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        floorCpu += cpuSeconds() + floor.serverCpu() - f0;

        const double h0 = cpuSeconds() + hostServerCpu();
        const double before = query + load;
        if (!hostPath(*backend.service.get(), n, &query, &load, &packetBytes)) {
            state.SkipWithError("QueryData or loadPacket failed");
            return;
        }
        cpu += cpuSeconds() + hostServerCpu() - h0;
        state.SetIterationTime(query + load - before);
    }
    const double runs = double(state.iterations());
    state.counters["load_cpu_ms"] = loadCpuSeconds / runs * 1000;
    state.counters["cpu_ms"] = cpu / runs * 1000;
    state.counters["floor_ms"] = floorWall / runs * 1000;
    state.counters["floor_cpu_ms"] = floorCpu / runs * 1000;
    double q = 0, l = 0;
    const qint64 peak = peakBytes([&] { hostPath(*backend.service.get(), n, &q, &l, &packetBytes); });
    state.counters["query_ms"] = query / runs * 1000;
    state.counters["load_ms"] = load / runs * 1000;
    state.counters["x_floor"] = (query + load) / floorWall;
    state.counters["x_floor_cpu"] = cpu / floorCpu;
    state.counters["data_MB"] = double(dataBytes[n]) / 1e6;
    state.counters["packet_MB"] = double(packetBytes) / 1e6;
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["peak_x_data"] = double(peak) / double(dataBytes[n]);
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_HostSqlite(benchmark::State &state)
{
    hostRun(state, sqlite);
}

void BM_HostPostgres(benchmark::State &state)
{
    hostRun(state, postgres);
}

BENCHMARK(BM_SqliteFloor)->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_HostSqlite)->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);
BENCHMARK(BM_LibpqFloor)->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);
BENCHMARK(BM_HostPostgres)->Arg(Small)->Arg(Large)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The ways of reading a large result the host chose among: not goals, run
    // only when asked for.
    if (qEnvironmentVariableIsSet("BENCH_HOST_QUERY_CHOICES")) {
        for (const qsizetype n : { Small, Large })
            benchmark::RegisterBenchmark("BM_LibpqSingleRow", BM_LibpqSingleRow)
                ->Arg(n)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        for (const int batch : { 20000, 1000000 })
            benchmark::RegisterBenchmark("BM_LibpqCursor", BM_LibpqCursor)
                ->Args({ Large, batch })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        for (const qsizetype n : { Small, Large })
            benchmark::RegisterBenchmark("BM_LibpqCopy", BM_LibpqCopy)
                ->Arg(n)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
    }

    QTemporaryDir dir;
    sqlitePath = dir.filePath(QStringLiteral("bench.sqlite")).toStdString();
    SqlDataService::Options empty;
    empty.seedDemoData = false;
    QString error;
    sqlite.url = QStringLiteral("sqlite:") + QString::fromStdString(sqlitePath);
    // The service creates the schema; the rows go in through the C API.
    SqlDataService::open(sqlite.url, QString(), &error, empty).reset();
    std::fprintf(stderr, "filling SQLite...\n");
    fillSqlite(sqlitePath);
    sqlite.service = SqlDataService::open(sqlite.url, QString(), &error, empty);
    if (!sqlite.service)
        std::fprintf(stderr, "SQLite: %s\n", qPrintable(error));

    postgres.url = pgFixture.start(QStringLiteral("kalmora-bench-pg"));
    if (!postgres.url.isEmpty()) {
        SqlDataService::open(postgres.url, QString(), &error, empty).reset();
        std::fprintf(stderr, "filling PostgreSQL...\n");
        if (fillPostgres(postgres.url))
            postgres.service = SqlDataService::open(postgres.url, QString(), &error, empty);
        if (!postgres.service) {
            std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(error));
        } else {
            QVariantList args { QStringLiteral("select pg_backend_pid()"), QVariant() };
            if (postgres.service->Invoke(sqda::DispQueryData, args).toBool()) {
                sqda::ClientDataSet pid;
                if (pid.loadPacket(args[1].toByteArray()) && pid.recordCount() == 1)
                    hostBackendPid = int(pid.field(0)->asLargeInt());
            }
        }
    } else {
        std::fprintf(stderr, "no PostgreSQL server: its runs are skipped\n");
    }

    sqda::bench::printLoad("bench_host_query", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const qsizetype n : { Small, Large }) {
        const std::string size = std::to_string(n);
        for (const auto &[bench, what, limit] :
            { std::tuple { "BM_HostSqlite/", "SQLite", 1.0 }, std::tuple { "BM_HostPostgres/", "PostgreSQL", 1.3 } }) {
            const std::string name = bench + size + "/min_time:2.000/manual_time";
            if (!reporter.ran(name))
                continue;
            const bool failed = reporter.anyFailed({ name });
            sqda::bench::Goals::note("%s %s rows: host %.1f ms (cold load %.1f ms), floor %.1f ms (wall); host %.1f "
                                     "ms, floor %.1f ms (CPU); peak %.0f MB for %.0f MB of data",
                what, size.c_str(), reporter.counter(name, "query_ms") + reporter.counter(name, "load_ms"),
                reporter.counter(name, "cold_load_ms"), reporter.counter(name, "floor_ms"),
                reporter.counter(name, "cpu_ms"), reporter.counter(name, "floor_cpu_ms"),
                reporter.counter(name, "peak_MB"), reporter.counter(name, "data_MB"));
            goals.atMost(std::string("host QueryData + loadPacket / ") + (what[0] == 'S' ? "sqlite3" : "libpq")
                    + " floor (process CPU), " + what + ", " + size + " rows",
                reporter.counter(name, "x_floor_cpu"), limit, failed);
            goals.atMost(std::string("host path peak memory / data, ") + what + ", " + size + " rows",
                reporter.counter(name, "peak_x_data"), 3.5, failed);
        }
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_host_query", "end");
    sqlite.service.reset();
    postgres.service.reset();
    pgFixture.stop();
    return goals.exitCode();
}
