// The maintenance screen's first open through the reference host, at 10k and
// 100k areas: from GetFormOne to the tree painted (the host's SQL, the packet,
// the tree, the form, the paint), against the floor in the same run, the two
// taking turns; goal at most 1.2x, in processor time (medians); wall times
// beside.
// - SQLite: the floor is the sqlite3 C API stepping the same statement on the
//   same file into QStrings (connection opened as Qt's driver opens the host's,
//   outside the timed region) and a bare QTreeWidget built from those rows and
//   shown until painted.
// - PostgreSQL: the floor is libpq's PQexec of the same statement on its own
//   connection (opened outside the timed region), each value read into a
//   QString or a number, and the same bare QTreeWidget. The server's processor
//   time for each side's session is counted with this process's (read from
//   /proc before and after), as bench_host_query counts it. A throw-away server
//   is started on loopback with the tests' fixture script
//   (tests/hostapp/pg_fixture.sh), or KALMORA_BENCH_PG_URL names one; without
//   either the PostgreSQL runs are skipped.
#include "Goals.h"
#include "PgFixture.h"
#include "SqliteFloor.h"
#include "core/SqlDataService.h"
#include "data/ClientDataSet.h"
#include "host/HostContext.h"
#include "tradearea/MaintenanceState.h"
#include "tradearea/TAreaTree.h"
#include "tradearea/TfrmMdda_ED.h"

#include <sqda/EntryPoints.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

extern "C" void GetFormOne(QWidget *appWindow, QWidget *hostControl, const unsigned char *operatorCode,
    QWidget *parentControl, sqda::ICoorDisp *dataService);

using namespace sqda;

namespace {

constexpr int Small = 10'000;
constexpr int Large = 100'000;
const char *const kDepartment = "0101"; // code levels 2-2-2-3

sqda::bench::Samples g_samples;
double g_server = 0; // the server's share of the last open's processor time

struct Area
{
    std::string code;
    std::string name;
    int level;
    int leaf;
};

// `count` areas in code order: districts of 10 zones of 10 streets, each street
// with up to 49 blocks, in place of the demo chain's areas of the department.
std::vector<Area> areas(int count)
{
    std::vector<Area> out;
    out.reserve(size_t(count));
    const auto add = [&](const std::string &code, int level, int leaf) {
        if (int(out.size()) < count)
            out.push_back({ code, "商圈 " + code + " 区", level, leaf });
    };
    char buf[16];
    for (int a = 0; a < 99 && int(out.size()) < count; ++a) {
        std::snprintf(buf, sizeof buf, "%02d", a);
        const std::string ca = buf;
        add(ca, 1, 0);
        for (int b = 0; b < 10; ++b) {
            std::snprintf(buf, sizeof buf, "%02d", b);
            const std::string cb = ca + buf;
            add(cb, 2, 0);
            for (int c = 0; c < 10; ++c) {
                std::snprintf(buf, sizeof buf, "%02d", c);
                const std::string cc = cb + buf;
                add(cc, 3, 0);
                for (int d = 0; d < 49; ++d) {
                    std::snprintf(buf, sizeof buf, "%03d", d);
                    add(cc + buf, 4, 1);
                }
            }
        }
    }
    return out;
}

bool fillSqlite(const std::string &path, int count)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "begin; delete from tbsqda where f_bmbm = '0101'", nullptr, nullptr, nullptr);
    sqlite3_stmt *ins = nullptr;
    sqlite3_prepare_v2(
        db, "insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values (?, ?, ?, ?, ?)", -1, &ins, nullptr);
    const std::vector<Area> rows = areas(count);
    bool ok = ins != nullptr && int(rows.size()) == count;
    for (const Area &a : rows) {
        if (!ok)
            break;
        sqlite3_bind_text(ins, 1, kDepartment, -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, a.code.c_str(), int(a.code.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, a.name.c_str(), int(a.name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 4, a.level);
        sqlite3_bind_int(ins, 5, a.leaf);
        ok = sqlite3_step(ins) == SQLITE_DONE;
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, ok ? "commit; analyze" : "rollback", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return ok;
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

// The same areas as on SQLite, through COPY.
bool fillPostgres(const QString &url, int count)
{
    PGconn *c = PQconnectdb(url.toUtf8().constData());
    bool ok = PQstatus(c) == CONNECTION_OK;
    ok = ok && pgCommand(c, "begin") && pgCommand(c, "delete from tbsqda where f_bmbm = '0101'");
    if (ok) {
        PGresult *r = PQexec(c, "copy tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) from stdin");
        ok = PQresultStatus(r) == PGRES_COPY_IN;
        PQclear(r);
    }
    const std::vector<Area> rows = areas(count);
    ok = ok && int(rows.size()) == count;
    std::string text;
    for (const Area &a : rows) {
        text += std::string(kDepartment) + '\t' + a.code + '\t' + a.name + '\t' + std::to_string(a.level) + '\t'
            + std::to_string(a.leaf) + '\n';
    }
    if (ok)
        ok = PQputCopyData(c, text.data(), int(text.size())) == 1 && PQputCopyEnd(c, nullptr) == 1;
    if (ok) {
        PGresult *r = PQgetResult(c);
        ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
        while (PGresult *extra = PQgetResult(c))
            PQclear(extra);
    }
    ok = ok && pgCommand(c, "commit") && pgCommand(c, "vacuum analyze tbsqda");
    if (!ok)
        std::fprintf(stderr, "PostgreSQL: %s", PQerrorMessage(c));
    PQfinish(c);
    return ok;
}

// ---------------------------------------------------------------- PostgreSQL server

QString pgUrl;

sqda::bench::PgFixture pgFixture;

// A server process's processor time, from /proc (the server runs on this
// machine): its work for a session is part of what the session's user waits
// for. schedstat counts nanoseconds, where stat's ticks are 10 ms, as long as
// a 10k-area open takes on the server.
double serverCpuSeconds(int pid)
{
    if (pid <= 0)
        return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double ns = 0;
    in >> ns;
    return ns / 1e9;
}

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

enum class Engine { SQLite, PostgreSQL };

struct Database
{
    Engine engine = Engine::SQLite;
    QTemporaryDir dir;
    std::string path;
    kalmora::SqlDataService::Ptr service;
    sqlite3 *floor = nullptr;
    PGconn *pgFloor = nullptr;
    int hostBackend = 0; // the service's server process on PostgreSQL
    QString error;

    bool open(int count)
    {
        QString url;
        if (engine == Engine::SQLite) {
            path = dir.filePath(QStringLiteral("bench.sqlite")).toStdString();
            url = QStringLiteral("sqlite:") + QString::fromStdString(path);
        } else {
            url = pgUrl;
        }
        // The service creates the schema and the demo chain; the areas go in
        // through the C API.
        if (!kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error))
            return false;
        if (engine == Engine::SQLite ? !fillSqlite(path, count) : !fillPostgres(url, count)) {
            error = QStringLiteral("could not fill the database");
            return false;
        }
        service = kalmora::SqlDataService::open(url, QString::fromLatin1(kDepartment), &error);
        if (!service)
            return false;
        if (engine == Engine::SQLite) {
            sqlite3_open_v2(path.c_str(), &floor, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
            return true;
        }
        pgFloor = PQconnectdb(url.toUtf8().constData());
        QVariantList args { QStringLiteral("select pg_backend_pid()"), QVariant() };
        sqda::ClientDataSet pid;
        if (service->Invoke(sqda::DispQueryData, args).toBool() && pid.loadPacket(args[1].toByteArray())
            && pid.recordCount() == 1)
            hostBackend = int(pid.field(0)->asLargeInt());
        if (PQstatus(pgFloor) != CONNECTION_OK || hostBackend <= 0) {
            error = QStringLiteral("no PostgreSQL session for the floor or the host");
            return false;
        }
        return true;
    }
    // Processor time of this process and, on PostgreSQL, of the host's or the
    // floor's server process.
    double hostServerCpu() const { return serverCpuSeconds(hostBackend); }
    double floorServerCpu() const { return pgFloor ? serverCpuSeconds(PQbackendPID(pgFloor)) : 0; }
    double hostCpu() const { return sqda::bench::processCpuNow() + hostServerCpu(); }
    double floorCpu() const { return sqda::bench::processCpuNow() + floorServerCpu(); }
    ~Database()
    {
        service.reset();
        if (pgFloor)
            PQfinish(pgFloor);
        sqlite3_close(floor);
    }
};

// One open of the screen in a host window of the reference host's size; false
// when the tree was not filled and painted.
bool openScreen(Database &db, int count, double *cpu, double *wall)
{
    maintenanceState().reset();
    auto appWindow = std::make_unique<QWidget>();
    appWindow->resize(824, 540);
    auto *hostControl = new QWidget(appWindow.get());
    auto *parentControl = new QWidget(appWindow.get());
    parentControl->setGeometry(0, 0, 824, 540);
    appWindow->show();
    QApplication::processEvents();
    PaintCounter counter;
    const QByteArray op = toShortString("0001");
    const double c0 = db.hostCpu(), s0 = db.hostServerCpu(), w0 = sqda::bench::wallNow();
    GetFormOne(
        appWindow.get(), hostControl, reinterpret_cast<const uchar *>(op.constData()), parentControl, db.service.get());
    auto *form = parentControl->findChild<TfrmMdda_ED *>();
    if (form)
        form->TN->viewport()->installEventFilter(&counter);
    QApplication::processEvents(); // the tree is painted here
    *cpu = db.hostCpu() - c0;
    g_server = db.hostServerCpu() - s0;
    *wall = sqda::bench::wallNow() - w0;
    const bool ok = form && counter.paints > 0 && form->TN->nodesInOrder().size() == count + 1;
    if (form)
        form->TN->viewport()->removeEventFilter(&counter);
    appWindow.reset();
    QApplication::processEvents();
    releaseHostContext();
    return ok;
}

// The floor: the same statement into QStrings, a bare tree built from the rows
// by their level and shown until painted.
bool floorOpen(Database &db, const QString &statement, int count, double *cpu, double *wall)
{
    const QByteArray sql = statement.toUtf8();
    PaintCounter counter;
    const double c0 = db.floorCpu(), s0 = db.floorServerCpu(), w0 = sqda::bench::wallNow();
    auto tree = std::make_unique<QTreeWidget>();
    tree->setHeaderHidden(true);
    tree->setUniformRowHeights(true);
    tree->resize(185, 487);
    tree->viewport()->installEventFilter(&counter);
    auto *root = new QTreeWidgetItem(QStringList { QStringLiteral("商圈档案") });
    QTreeWidgetItem *last[6] = { root, nullptr, nullptr, nullptr, nullptr, nullptr };
    int rows = 0;
    const auto addRow
        = [&](const QString &department, const QString &code, const QString &name, qint64 level, qint64 leaf) {
              benchmark::DoNotOptimize(department.constData());
              benchmark::DoNotOptimize(leaf);
              const int at = std::clamp(int(level), 1, 4);
              auto *item = new QTreeWidgetItem;
              item->setText(0, code + QLatin1Char(' ') + name);
              item->setData(0, Qt::UserRole, code);
              (last[at - 1] ? last[at - 1] : root)->addChild(item);
              last[at] = item;
              ++rows;
          };
    if (db.pgFloor) {
        PGresult *r = PQexec(db.pgFloor, sql.constData());
        const auto text = [r](int i, int c) { return QString::fromUtf8(PQgetvalue(r, i, c), PQgetlength(r, i, c)); };
        const auto number = [r](int i, int c) {
            qint64 v = 0;
            const char *p = PQgetvalue(r, i, c);
            std::from_chars(p, p + PQgetlength(r, i, c), v);
            return v;
        };
        for (int i = 0, n = PQntuples(r); i < n; ++i)
            addRow(text(i, 0), text(i, 1), text(i, 2), number(i, 3), number(i, 4));
        PQclear(r);
    } else {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db.floor, sql.constData(), int(sql.size()), &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const auto text = [st](int c) {
                return QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(st, c)), sqlite3_column_bytes(st, c));
            };
            addRow(text(0), text(1), text(2), sqlite3_column_int64(st, 3), sqlite3_column_int64(st, 4));
        }
        sqlite3_finalize(st);
    }
    tree->addTopLevelItem(root);
    tree->expandItem(root);
    tree->setCurrentItem(root);
    tree->show();
    QApplication::processEvents(); // painted here
    *cpu = db.floorCpu() - c0;
    g_server = db.floorServerCpu() - s0;
    *wall = sqda::bench::wallNow() - w0;
    const bool ok = rows == count && counter.paints > 0;
    tree->viewport()->removeEventFilter(&counter);
    tree.reset();
    QApplication::processEvents();
    return ok;
}

void openVsFloor(benchmark::State &state, Engine engine)
{
    const int n = int(state.range(0));
    Database db;
    db.engine = engine;
    if (engine == Engine::PostgreSQL && pgUrl.isEmpty()) {
        state.SkipWithError("no PostgreSQL server");
        for (auto _ : state) { }
        return;
    }
    if (!db.open(n)) {
        state.SkipWithError(qPrintable(db.error));
        for (auto _ : state) { }
        return;
    }
    const QString statement = QStringLiteral("select * from tbSqda where f_bmbm='0101' order by F_Sqbm  ");
    const std::string size = (engine == Engine::PostgreSQL ? " pg" : "") + sqda::bench::spaced(n);
    double cpu = 0, wall = 0;
    // The first open of the process apart: fonts, plug-ins, the driver.
    if (!openScreen(db, n, &cpu, &wall) || !floorOpen(db, statement, n, &cpu, &wall))
        state.SkipWithError("the screen or the floor did not open");
    bool floorFirst = true;
    for (auto _ : state) {
        double t = 0;
        const auto floor = [&] {
            if (!floorOpen(db, statement, n, &cpu, &wall))
                state.SkipWithError("the floor did not fill and paint the tree");
            g_samples.add("floor" + size, cpu);
            g_samples.add("floor wall" + size, wall);
            g_samples.add("floor server" + size, g_server);
            t += cpu;
        };
        const auto screen = [&] {
            if (!openScreen(db, n, &cpu, &wall))
                state.SkipWithError("the screen did not fill and paint the tree");
            g_samples.add("screen" + size, cpu);
            g_samples.add("screen wall" + size, wall);
            g_samples.add("screen server" + size, g_server);
            t += cpu;
        };
        if (floorFirst) {
            floor();
            screen();
        } else {
            screen();
            floor();
        }
        floorFirst = !floorFirst;
        state.SetIterationTime(t);
    }
}

void BM_OpenVsFloor(benchmark::State &state)
{
    openVsFloor(state, Engine::SQLite);
}

void BM_OpenVsFloorPostgres(benchmark::State &state)
{
    openVsFloor(state, Engine::PostgreSQL);
}

BENCHMARK(BM_OpenVsFloor)->Arg(Small)->Iterations(9)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OpenVsFloor)->Arg(Large)->Iterations(7)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OpenVsFloorPostgres)->Arg(Small)->Iterations(9)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_OpenVsFloorPostgres)->Arg(Large)->Iterations(7)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("KALMORA_HOME", home.path().toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    pgUrl = pgFixture.start(QStringLiteral("kalmora-bench-maint-pg"));
    if (pgUrl.isEmpty())
        std::fprintf(stderr, "no PostgreSQL server: its runs are skipped\n");
    sqda::bench::printLoad("bench_maintenance", "start");
    sqda::bench::GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    sqda::bench::Goals goals;
    for (const auto &[bench, engine, floorName] :
        { std::tuple { "BM_OpenVsFloor/", "", "sqlite3" }, std::tuple { "BM_OpenVsFloorPostgres/", " pg", "libpq" } }) {
        for (const auto &[n, iterations] : { std::pair { Small, 9 }, std::pair { Large, 7 } }) {
            const std::string name
                = bench + std::to_string(n) + "/iterations:" + std::to_string(iterations) + "/manual_time";
            if (!reporter.ran(name))
                continue;
            const bool pg = *engine != 0;
            const std::string size = engine + sqda::bench::spaced(n);
            sqda::bench::Goals::note("maintenance screen open%s, %d areas: %.1f ms, floor %.1f ms (%s); wall %.1f "
                                     "ms, floor %.1f ms",
                pg ? " on PostgreSQL" : "", n, g_samples.median("screen" + size) * 1e3,
                g_samples.median("floor" + size) * 1e3, pg ? "CPU, server's counted" : "process CPU",
                g_samples.median("screen wall" + size) * 1e3, g_samples.median("floor wall" + size) * 1e3);
            if (pg)
                sqda::bench::Goals::note("  of which the server: %.1f ms, floor %.1f ms",
                    g_samples.median("screen server" + size) * 1e3, g_samples.median("floor server" + size) * 1e3);
            const double floor = g_samples.median("floor" + size);
            goals.atMost(std::string("maintenance screen first open / ") + floorName + " + bare QTreeWidget, "
                    + (pg ? "PostgreSQL (server CPU counted), " : "") + std::to_string(n) + " areas",
                floor > 0 ? g_samples.median("screen" + size) / floor : 0, 1.2, reporter.anyFailed({ name }));
        }
    }
    benchmark::Shutdown();
    sqda::bench::printLoad("bench_maintenance", "end");
    pgFixture.stop();
    return goals.exitCode();
}
