// The dataset's sort and filter over a million trade-area rows, against SQLite
// running the same ORDER BY / WHERE on an in-memory table, and against a
// QSortFilterProxyModel over DataSetModel doing the same work. Prints the ratios
// and the memory an index holds at the end. The ratios compare the process's CPU
// time (every thread), so other work on a shared machine does not tilt them.
#include "Goals.h"
#include "data/ClientDataSet.h"
#include "data/DataSetModel.h"

#include <QCollator>
#include <QSortFilterProxyModel>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <time.h>

using namespace sqda;

namespace {

constexpr qsizetype kSizes[] = { 100'000, 1'000'000 };
const QString kSortFields = QStringLiteral("f_sqmc;f_sqbm");
const QString kOtherFields = QStringLiteral("f_bmbm;f_sqbm");
const char *const kOrderBy = "select rowid from tbsqda order by f_sqmc collate nocase desc, f_sqbm";
const char *const kWhere = "select rowid from tbsqda where f_sqmc like '%东%' and f_sqbm >= '0100'";
const QString kFilter = QStringLiteral("f_sqmc LIKE '%东%' AND f_sqbm >= '0100'");

std::map<std::string, double> g_seconds; // per-operation time and size, for the ratios

// "100k" / "1M": the size in a goal's text.
std::string sizeText(qsizetype rows)
{
    return rows >= 1'000'000 ? std::to_string(rows / 1'000'000) + "M" : std::to_string(rows / 1000) + "k";
}
std::string sized(const char *name, qsizetype rows)
{
    return name + sqda::bench::spaced(rows);
}

double cpuNow()
{
    return sqda::bench::processCpuNow();
}

struct Row
{
    QString code, name, dept;
    int level;
    double area;
};

const std::vector<Row> &rows()
{
    static std::vector<Row> out;
    if (!out.empty())
        return out;
    const QString hanzi = QStringLiteral(
        "东西南北中华新城区街道路桥河湖山海天津京沪广深杭苏宁武汉成都重庆长沙郑州西安青岛大连厦门福州"
        "南昌合肥济南太原石家庄呼和浩特沈阳长春哈尔滨昆明贵阳南宁海口兰州银川西宁乌鲁木齐拉萨王府井前门"
        "金融商务科技园体育文化广场花园公园学院医院车站机场港口码头市场超市百货购物中心步行");
    std::mt19937 rng(7);
    out.reserve(size_t(kSizes[1]));
    for (qsizetype i = 0; i < kSizes[1]; ++i) {
        Row r;
        r.code = QStringLiteral("%1").arg(quint64(rng() % 100000000), 8, 10, QLatin1Char('0'));
        const int len = 2 + int(rng() % 5);
        for (int c = 0; c < len; ++c)
            r.name += hanzi[qsizetype(rng() % quint32(hanzi.size()))];
        r.dept = QStringLiteral("01%1").arg(int(rng() % 50), 2, 10, QLatin1Char('0'));
        r.level = 1 + int(rng() % 4);
        r.area = double(rng() % 100000) / 7.0;
        out.push_back(std::move(r));
    }
    return out;
}

// The first `n` rows: the smaller size is the start of the larger.
DataStore buildStore(qsizetype n)
{
    DataStore s({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Double, 0, {} } });
    s.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const Row &r = rows()[size_t(i)];
        s.appendString(0, r.code);
        s.appendString(1, r.name);
        s.appendString(2, r.dept);
        s.appendInt(3, r.level);
        s.appendDouble(4, r.area);
        s.commitRow();
    }
    return s;
}

sqlite3 *database(qsizetype n)
{
    static std::map<qsizetype, sqlite3 *> dbs;
    sqlite3 *&db = dbs[n];
    if (db)
        return db;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
        "create table tbsqda(f_sqbm varchar(12), f_sqmc varchar(40), f_bmbm varchar(12), f_jb int, f_mj float)",
        nullptr, nullptr, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(db, "insert into tbsqda values(?,?,?,?,?)", -1, &ins, nullptr);
    for (qsizetype i = 0; i < n; ++i) {
        const Row &r = rows()[size_t(i)];
        const QByteArray code = r.code.toUtf8(), name = r.name.toUtf8(), dept = r.dept.toUtf8();
        sqlite3_bind_text(ins, 1, code.constData(), int(code.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, dept.constData(), int(dept.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, r.level);
        sqlite3_bind_double(ins, 5, r.area);
        sqlite3_step(ins);
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    return db;
}

void sortBy(ClientDataSet &ds, const QString &fields, const QString &desc)
{
    ds.updateIndexDefs();
    if (ds.indexDefs().find(QStringLiteral("customindex")))
        ds.deleteIndex(QStringLiteral("customindex"));
    ds.addIndex(QStringLiteral("customindex"), fields, IndexOption::CaseInsensitive, desc);
    ds.setIndexName(QStringLiteral("customindex"));
}

void record(benchmark::State &state, const char *name, double seconds, qsizetype iterations)
{
    const qsizetype n = state.range(0);
    g_seconds[sized(name, n)] = seconds / double(iterations);
    state.counters["rows/s"] = benchmark::Counter(double(n) * double(iterations), benchmark::Counter::kIsRate);
}

void BM_DataSetFirstSort(benchmark::State &state)
{
    ClientDataSet ds;
    // The process's first sort also sets up what every later one finds ready
    // (the collation tables, the allocator's kept buffers), as the proxy's
    // sort, run later, finds them: one untimed sort first.
    ds.loadStore(buildStore(state.range(0)));
    sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
    double total = 0;
    qsizetype n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ds.setIndexName(QString());
        ds.loadStore(buildStore(state.range(0))); // new rows: no column ranks yet
        state.ResumeTiming();
        const double t0 = cpuNow();
        sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
        total += (cpuNow() - t0);
        ++n;
    }
    record(state, "first sort", total, n);
    g_seconds[sized("index bytes/row", state.range(0))] = double(ds.indexMemoryBytes()) / double(state.range(0));
}

void BM_DataSetResort(benchmark::State &state)
{
    ClientDataSet ds;
    ds.loadStore(buildStore(state.range(0)));
    sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
    sortBy(ds, kOtherFields, {});
    bool flip = false;
    for (auto _ : state) {
        // The user clicking titles: both orders' column ranks are built already.
        if ((flip = !flip))
            sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
        else
            sortBy(ds, kOtherFields, {});
    }
    const double t0 = cpuNow();
    sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
    g_seconds[sized("re-sort", state.range(0))] = (cpuNow() - t0);
    state.counters["rows/s"]
        = benchmark::Counter(double(state.range(0)) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DataSetLikeFilter(benchmark::State &state)
{
    ClientDataSet ds;
    ds.loadStore(buildStore(state.range(0)));
    ds.setFiltered(true);
    bool flip = false;
    double total = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        ds.setFilter((flip = !flip) ? kFilter : kFilter + u' ');
        total += (cpuNow() - t0);
        benchmark::DoNotOptimize(ds.recordCount());
    }
    state.counters["passing"] = double(ds.recordCount());
    record(state, "LIKE filter", total, state.iterations());
}

qsizetype stepAll(qsizetype rows, const char *sql)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(database(rows), sql, -1, &st, nullptr);
    qsizetype n = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        n += sqlite3_column_int64(st, 0) >= 0;
    sqlite3_finalize(st);
    return n;
}

void BM_SqliteOrderBy(benchmark::State &state)
{
    database(state.range(0));
    double total = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        benchmark::DoNotOptimize(stepAll(state.range(0), kOrderBy));
        total += (cpuNow() - t0);
    }
    record(state, "sqlite order by", total, state.iterations());
}

void BM_SqliteWhere(benchmark::State &state)
{
    database(state.range(0));
    double total = 0;
    qsizetype passing = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        passing = stepAll(state.range(0), kWhere);
        total += (cpuNow() - t0);
    }
    state.counters["passing"] = double(passing);
    record(state, "sqlite where", total, state.iterations());
}

// The same two-key order and the same filter, the model/view way.
class Proxy : public QSortFilterProxyModel
{
public:
    Proxy() { m_collator.setCaseSensitivity(Qt::CaseInsensitive); }
    bool filtering = false;

protected:
    bool lessThan(const QModelIndex &l, const QModelIndex &r) const override
    {
        const QAbstractItemModel *m = sourceModel();
        const int c
            = m_collator.compare(m->index(l.row(), 1).data().toString(), m->index(r.row(), 1).data().toString());
        if (c != 0)
            return c > 0; // names descending
        return m->index(l.row(), 0).data().toString() < m->index(r.row(), 0).data().toString();
    }
    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        if (!filtering)
            return true;
        const QAbstractItemModel *m = sourceModel();
        return m->index(row, 1).data().toString().contains(u'东')
            && m->index(row, 0).data().toString() >= QLatin1String("0100");
    }

private:
    QCollator m_collator { QLocale(QLocale::Chinese, QLocale::China) };
};

// One proxy over DataSetModel per iteration; `work` is what gets timed.
template<typename Work> void runProxy(benchmark::State &state, const char *name, Work work)
{
    ClientDataSet ds;
    ds.loadStore(buildStore(state.range(0)));
    DataSetModel model(&ds);
    double total = 0;
    for (auto _ : state) {
        Proxy proxy;
        proxy.setSourceModel(&model);
        const double t0 = cpuNow();
        work(proxy);
        total += (cpuNow() - t0);
    }
    record(state, name, total, state.iterations());
}

void BM_ProxySort(benchmark::State &state)
{
    runProxy(state, "proxy sort", [](Proxy &proxy) { proxy.sort(0); });
}

void BM_ProxyFilter(benchmark::State &state)
{
    runProxy(state, "proxy filter", [](Proxy &proxy) {
        proxy.filtering = true;
        proxy.invalidate();
        benchmark::DoNotOptimize(proxy.rowCount());
    });
}

} // namespace

BENCHMARK(BM_DataSetFirstSort)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DataSetResort)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DataSetLikeFilter)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SqliteOrderBy)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqliteWhere)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ProxySort)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ProxyFilter)->Arg(kSizes[0])->Arg(kSizes[1])->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_dataset", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (qsizetype n : kSizes) {
        const std::string size = ", " + sizeText(n) + " rows";
        auto s = [n](const char *k) {
            const std::string key = sized(k, n);
            return g_seconds.count(key) ? g_seconds[key] : 0.0;
        };
        const auto run = [n](const char *bench, int iterations) {
            return std::string(bench) + "/" + std::to_string(n) + "/iterations:" + std::to_string(iterations);
        };
        const auto both
            = [&](const std::string &a, const std::string &b) { return reporter.ran(a) && reporter.ran(b); };
        const auto failed = [&](const std::string &a, const std::string &b) { return reporter.anyFailed({ a, b }); };
        sqda::bench::Goals::note("%s rows, process CPU time per operation:", sizeText(n).c_str());
        for (const char *k :
            { "first sort", "re-sort", "LIKE filter", "sqlite order by", "sqlite where", "proxy sort", "proxy filter" })
            if (s(k) > 0)
                sqda::bench::Goals::note("  %-16s %9.2f ms", k, s(k) * 1e3);
        const std::string first = run("BM_DataSetFirstSort", 3), resort = run("BM_DataSetResort", 10),
                          like = run("BM_DataSetLikeFilter", 10), orderBy = run("BM_SqliteOrderBy", 3),
                          where = run("BM_SqliteWhere", 5), proxySort = run("BM_ProxySort", 1),
                          proxyFilter = run("BM_ProxyFilter", 3);
        if (both(first, orderBy))
            goals.atMost("first sort / SQLite ORDER BY" + size, s("first sort") / s("sqlite order by"), 1.0,
                failed(first, orderBy));
        if (both(resort, orderBy))
            goals.atMost(
                "re-sort / SQLite ORDER BY" + size, s("re-sort") / s("sqlite order by"), 0.3, failed(resort, orderBy));
        if (both(like, where))
            goals.atMost(
                "LIKE filter / SQLite WHERE" + size, s("LIKE filter") / s("sqlite where"), 0.5, failed(like, where));
        if (s("LIKE filter") > 0)
            sqda::bench::Goals::note("LIKE filter: %.1f M rows/s", double(n) / s("LIKE filter") / 1e6);
        if (both(proxySort, first))
            goals.atLeast("QSortFilterProxyModel sort / first sort" + size, s("proxy sort") / s("first sort"), 10,
                failed(proxySort, first));
        if (both(proxyFilter, like))
            goals.atLeast("QSortFilterProxyModel filter / LIKE filter" + size, s("proxy filter") / s("LIKE filter"), 10,
                failed(proxyFilter, like));
        if (s("index bytes/row") > 0)
            sqda::bench::Goals::note(
                "index memory: %.1f bytes/row (order 4 + 4 per sorted column's ranks)", s("index bytes/row"));
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_dataset", "end");
    return goals.exitCode();
}
