// Data packets at scale: encoding and decoding 100k and 1M trade-area rows,
// against reading the same rows from an in-memory SQLite table with the C API.
// Goal: decode at most 2x the SQLite read, at both sizes.
#include "Goals.h"
#include "data/ClientDataSet.h"
#include "data/Packet.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>

using namespace sqda;

namespace {

FieldDefs areaFields()
{
    return {
        { QStringLiteral("f_bmbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Int32, 0, {} },
    };
}

QString code(qsizetype i)
{
    return QStringLiteral("%1").arg(i, 8, 10, QLatin1Char('0'));
}

QString name(qsizetype i)
{
    static const QStringList parts = { QStringLiteral("东城区"), QStringLiteral("王府井商圈"), QStringLiteral("西单"),
        QStringLiteral("中关村大街"), QStringLiteral("望京 北区") };
    return parts[i % parts.size()] + QString::number(i);
}

const DataStore &rows(qsizetype n)
{
    static std::map<qsizetype, DataStore> cache;
    auto it = cache.find(n);
    if (it != cache.end())
        return it->second;
    DataStore s(areaFields());
    s.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        s.appendString(0, u"0101");
        s.appendString(1, code(i));
        s.appendString(2, name(i));
        s.appendInt(3, 1 + i % 4);
        s.appendInt(4, i % 3 == 0 ? 0 : 1);
        s.commitRow();
    }
    return cache.emplace(n, std::move(s)).first->second;
}

const QByteArray &packet(qsizetype n)
{
    static std::map<qsizetype, QByteArray> cache;
    auto it = cache.find(n);
    if (it == cache.end())
        it = cache.emplace(n, Packet::encode(rows(n))).first;
    return it->second;
}

sqlite3 *database(qsizetype n)
{
    static std::map<qsizetype, sqlite3 *> cache;
    auto it = cache.find(n);
    if (it != cache.end())
        return it->second;
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
        "create table tbsqda(f_bmbm varchar(12), f_sqbm varchar(12), f_sqmc varchar(40), f_jb int, f_mj int)", nullptr,
        nullptr, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(db, "insert into tbsqda values(?,?,?,?,?)", -1, &ins, nullptr);
    const DataStore &s = rows(n);
    for (qsizetype i = 0; i < n; ++i) {
        const QByteArray a = s.string(i, 0).toUtf8(), b = s.string(i, 1).toUtf8(), c = s.string(i, 2).toUtf8();
        sqlite3_bind_text(ins, 1, a.constData(), int(a.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, c.constData(), int(c.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, int(s.integer(i, 3)));
        sqlite3_bind_int(ins, 5, int(s.integer(i, 4)));
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    cache.emplace(n, db);
    return db;
}

void BM_Encode(benchmark::State &state)
{
    const DataStore &s = rows(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(Packet::encode(s));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Decode(benchmark::State &state)
{
    const QByteArray &p = packet(state.range(0));
    for (auto _ : state) {
        ClientDataSet ds;
        if (!ds.loadPacket(p))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(ds.recordCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The reference: step through the rows and touch every value, as a reader would.
void BM_SqliteRead(benchmark::State &state)
{
    sqlite3 *db = database(state.range(0));
    for (auto _ : state) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, "select f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj from tbsqda", -1, &st, nullptr);
        qint64 sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 3; ++c) {
                benchmark::DoNotOptimize(sqlite3_column_text(st, c));
                sum += sqlite3_column_bytes(st, c);
            }
            sum += sqlite3_column_int(st, 3) + sqlite3_column_int(st, 4);
        }
        sqlite3_finalize(st);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Encode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteRead)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_packet", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const char *n : { "100000", "1000000" }) {
        const std::string dec = std::string("BM_Decode/") + n, sql = std::string("BM_SqliteRead/") + n;
        if (reporter.ran(dec) && reporter.ran(sql))
            goals.atMost(std::string("decode / sqlite3 read, ") + n + " rows", reporter.ratio(reporter.real, dec, sql),
                2.0, reporter.anyFailed({ dec, sql }));
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_packet", "end");
    return goals.exitCode();
}
