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

constexpr qsizetype kRows = 1'000'000;
const QString kSortFields = QStringLiteral("f_sqmc;f_sqbm");
const QString kOtherFields = QStringLiteral("f_bmbm;f_sqbm");
const char *const kOrderBy = "select rowid from tbsqda order by f_sqmc collate nocase desc, f_sqbm";
const char *const kWhere = "select rowid from tbsqda where f_sqmc like '%东%' and f_sqbm >= '0100'";
const QString kFilter = QStringLiteral("f_sqmc LIKE '%东%' AND f_sqbm >= '0100'");

std::map<std::string, double> g_seconds; // per-operation time, for the ratios

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
    out.reserve(size_t(kRows));
    for (qsizetype i = 0; i < kRows; ++i) {
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

DataStore buildStore()
{
    DataStore s({ { QStringLiteral("f_sqbm"), FieldType::String, 12, {} },
        { QStringLiteral("f_sqmc"), FieldType::String, 40, {} },
        { QStringLiteral("f_bmbm"), FieldType::String, 12, {} }, { QStringLiteral("f_jb"), FieldType::Int32, 0, {} },
        { QStringLiteral("f_mj"), FieldType::Double, 0, {} } });
    s.reserve(kRows);
    for (const Row &r : rows()) {
        s.appendString(0, r.code);
        s.appendString(1, r.name);
        s.appendString(2, r.dept);
        s.appendInt(3, r.level);
        s.appendDouble(4, r.area);
        s.commitRow();
    }
    return s;
}

sqlite3 *database()
{
    static sqlite3 *db = nullptr;
    if (db)
        return db;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
        "create table tbsqda(f_sqbm varchar(12), f_sqmc varchar(40), f_bmbm varchar(12), f_jb int, f_mj float)",
        nullptr, nullptr, nullptr);
    sqlite3_exec(db, "begin", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(db, "insert into tbsqda values(?,?,?,?,?)", -1, &ins, nullptr);
    for (const Row &r : rows()) {
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
    g_seconds[name] = seconds / double(iterations);
    state.counters["rows/s"] = benchmark::Counter(double(kRows) * double(iterations), benchmark::Counter::kIsRate);
}

void BM_DataSetFirstSort(benchmark::State &state)
{
    ClientDataSet ds;
    double total = 0;
    qsizetype n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ds.setIndexName(QString());
        ds.loadStore(buildStore()); // new rows: no column ranks yet
        state.ResumeTiming();
        const double t0 = cpuNow();
        sortBy(ds, kSortFields, QStringLiteral("f_sqmc"));
        total += (cpuNow() - t0);
        ++n;
    }
    record(state, "first sort", total, n);
    g_seconds["index bytes/row"] = double(ds.indexMemoryBytes()) / double(kRows);
}

void BM_DataSetResort(benchmark::State &state)
{
    ClientDataSet ds;
    ds.loadStore(buildStore());
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
    g_seconds["re-sort"] = (cpuNow() - t0);
    state.counters["rows/s"]
        = benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DataSetLikeFilter(benchmark::State &state)
{
    ClientDataSet ds;
    ds.loadStore(buildStore());
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

qsizetype stepAll(const char *sql)
{
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(database(), sql, -1, &st, nullptr);
    qsizetype n = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        n += sqlite3_column_int64(st, 0) >= 0;
    sqlite3_finalize(st);
    return n;
}

void BM_SqliteOrderBy(benchmark::State &state)
{
    database();
    double total = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        benchmark::DoNotOptimize(stepAll(kOrderBy));
        total += (cpuNow() - t0);
    }
    record(state, "sqlite order by", total, state.iterations());
}

void BM_SqliteWhere(benchmark::State &state)
{
    database();
    double total = 0;
    qsizetype passing = 0;
    for (auto _ : state) {
        const double t0 = cpuNow();
        passing = stepAll(kWhere);
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
    ds.loadStore(buildStore());
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

BENCHMARK(BM_DataSetFirstSort)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DataSetResort)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DataSetLikeFilter)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SqliteOrderBy)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SqliteWhere)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ProxySort)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ProxyFilter)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    sqda::bench::printLoad("bench_dataset", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    auto s = [](const char *k) { return g_seconds.count(k) ? g_seconds[k] : 0.0; };
    const auto failed = [&](std::initializer_list<std::string> names) { return reporter.anyFailed(names); };
    sqda::bench::Goals::note("1M rows, process CPU time per operation:");
    for (const char *k :
        { "first sort", "re-sort", "LIKE filter", "sqlite order by", "sqlite where", "proxy sort", "proxy filter" })
        if (s(k) > 0)
            sqda::bench::Goals::note("  %-16s %9.1f ms", k, s(k) * 1e3);
    if (reporter.ran("BM_DataSetFirstSort/iterations:3") && reporter.ran("BM_SqliteOrderBy/iterations:3"))
        goals.atMost("first sort / SQLite ORDER BY, 1M rows", s("first sort") / s("sqlite order by"), 1.0,
            failed({ "BM_DataSetFirstSort/iterations:3", "BM_SqliteOrderBy/iterations:3" }));
    if (reporter.ran("BM_DataSetResort/iterations:10") && reporter.ran("BM_SqliteOrderBy/iterations:3"))
        goals.atMost("re-sort / SQLite ORDER BY, 1M rows", s("re-sort") / s("sqlite order by"), 0.3,
            failed({ "BM_DataSetResort/iterations:10", "BM_SqliteOrderBy/iterations:3" }));
    if (reporter.ran("BM_DataSetLikeFilter/iterations:10") && reporter.ran("BM_SqliteWhere/iterations:5"))
        goals.atMost("LIKE filter / SQLite WHERE, 1M rows", s("LIKE filter") / s("sqlite where"), 0.5,
            failed({ "BM_DataSetLikeFilter/iterations:10", "BM_SqliteWhere/iterations:5" }));
    if (s("LIKE filter") > 0)
        sqda::bench::Goals::note("LIKE filter: %.1f M rows/s", double(kRows) / s("LIKE filter") / 1e6);
    if (reporter.ran("BM_ProxySort/iterations:1") && reporter.ran("BM_DataSetFirstSort/iterations:3"))
        goals.atLeast("QSortFilterProxyModel sort / first sort, 1M rows", s("proxy sort") / s("first sort"), 10,
            failed({ "BM_ProxySort/iterations:1", "BM_DataSetFirstSort/iterations:3" }));
    if (reporter.ran("BM_ProxyFilter/iterations:3") && reporter.ran("BM_DataSetLikeFilter/iterations:10"))
        goals.atLeast("QSortFilterProxyModel filter / LIKE filter, 1M rows", s("proxy filter") / s("LIKE filter"), 10,
            failed({ "BM_ProxyFilter/iterations:3", "BM_DataSetLikeFilter/iterations:10" }));
    if (s("index bytes/row") > 0)
        sqda::bench::Goals::note(
            "index memory: %.1f bytes/row (order 4 + 4 per sorted column's ranks)", s("index bytes/row"));
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_dataset", "end");
    return goals.exitCode();
}
