#include "SqlDataService.h"

#include "CodeLevels.h"
#include "DataChangeStatement.h"
#include "DemoData.h"
#include "QueryPacket.h"
#include "ReaderRole.h"
#include "Schema.h"
#include "SqlExec.h"
#include "SqlFailure.h"
#include "SqlStatementText.h"
#include "SqlTransaction.h"
#include "SqliteAuthorizer.h"

#include "data/DataError.h"
#include "data/DataStore.h"
#include "data/Packet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <optional>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace kalmora {

using Backend = DatabaseUrl::Backend;
using Mode = SqlTransaction::Mode;

namespace {

QString nextConnectionName()
{
    static std::atomic<int> counter { 0 };
    return QStringLiteral("kalmora-host-%1").arg(++counter);
}

QVariant fail(QVariantList &args, int index, const QStringList &lines)
{
    if (index >= 0 && index < args.size()) {
        QVariantList value;
        for (const QString &l : lines)
            value << l;
        args[index] = value;
    }
    return false;
}

void needArguments(const QVariantList &args, int count)
{
    if (args.size() < count)
        throw SqlFailure(
            QStringList { QStringLiteral("调用的参数不足：需要 %1 个，只收到 %2 个。").arg(count).arg(args.size()) });
}

// A text argument longer than the column it is compared with or stored in
// is refused before any work: it can match nothing, and it must never cost
// the host in proportion to its length.
void checkSize(const QString &value, int size, const QString &what)
{
    if (value.size() > size)
        throw SqlFailure(QStringList {
            QStringLiteral("%1太长：最多 %2 个字符，收到的有 %3 个。").arg(what).arg(size).arg(value.size()) });
}

// The sizes of an area's key, the same for every operation that takes one.
void checkAreaKeySizes(const QString &dept, const QString &code)
{
    checkSize(dept, Schema::DepartmentCodeSize, QStringLiteral("部门编码"));
    checkSize(code, Schema::AreaCodeSize, QStringLiteral("商圈编码"));
}

// Department and code from the argument array of CheckAreaCode and DeleteArea.
std::pair<QString, QString> departmentAndCode(const QVariant &v)
{
    const QVariantList a = v.toList();
    if (v.typeId() != QMetaType::QVariantList || a.size() < 2)
        throw SqlFailure(QStringList { QStringLiteral("参数应为两项的数组：部门编码和商圈编码。") });
    const QString dept = a.at(0).toString(), code = a.at(1).toString();
    checkAreaKeySizes(dept, code);
    return { dept, code };
}

QString quoted(const QString &s)
{
    return QStringLiteral("“%1”").arg(s);
}

bool isUniqueViolation(const QString &code, Backend backend)
{
    if (backend == Backend::PostgreSQL)
        return code == QLatin1String("23505");
    // SQLite: SQLITE_CONSTRAINT, or its PRIMARYKEY / UNIQUE extended codes.
    return code == QLatin1String("19") || code == QLatin1String("1555") || code == QLatin1String("2067");
}

// PostgreSQL locks the rows an operation depends on; SQLite's IMMEDIATE
// transaction already keeps every other writer out.
QString forUpdate(Backend backend)
{
    return backend == Backend::PostgreSQL ? QStringLiteral(" for update") : QString();
}

CodeLevels levelsOf(const QSqlDatabase &db, const QString &dept)
{
    QSqlQuery q = runSql(db, QStringLiteral("select f_fjjg from tbsqfj where f_bmbm = ?"), { dept },
        QStringLiteral("读取商圈分级时出错。"));
    if (!q.next())
        throw SqlFailure(QStringList { QStringLiteral("部门%1没有设置商圈分级！").arg(quoted(dept)) });
    QString why;
    const std::optional<CodeLevels> levels = CodeLevels::parse(q.value(0).toString().trimmed(), &why);
    if (!levels)
        throw SqlFailure(QStringList { QStringLiteral("部门%1的商圈分级设置有误。").arg(quoted(dept)), why });
    return *levels;
}

struct AreaRow
{
    QString name;
    int leaf = 0;
};

std::optional<AreaRow> findArea(
    const QSqlDatabase &db, Backend backend, const QString &dept, const QString &code, bool lock)
{
    QSqlQuery q = runSql(db,
        QStringLiteral("select f_sqmc, f_mj from tbsqda where f_bmbm = ? and f_sqbm = ?")
            + (lock ? forUpdate(backend) : QString()),
        { dept, code }, QStringLiteral("读取商圈时出错。"));
    if (!q.next())
        return std::nullopt;
    return AreaRow { q.value(0).toString(), q.value(1).toInt() };
}

// What `code` is under its department's levels; a code that fits none is refused.
CodeLevels::Shape shapeUnder(const QSqlDatabase &db, const QString &dept, const QString &code)
{
    CodeLevels::Shape shape = levelsOf(db, dept).shapeOf(code);
    if (!shape.isValid())
        throw SqlFailure(QStringList { shape.error });
    return shape;
}

QString codeTakenMessage(const QString &code)
{
    return QStringLiteral("商圈编码%1已经存在！").arg(quoted(code));
}

// A new area's code must not be stored yet.
void requireNewCode(const QSqlDatabase &db, Backend backend, const QString &dept, const QString &code)
{
    if (findArea(db, backend, dept, code, false))
        throw SqlFailure(QStringList { codeTakenMessage(code) });
}

// A new area below level 1 needs its parent; `lock` holds the parent row
// until the transaction ends.
AreaRow requireParent(
    const QSqlDatabase &db, Backend backend, const QString &dept, const CodeLevels::Shape &shape, bool lock)
{
    std::optional<AreaRow> parent = findArea(db, backend, dept, shape.parentCode, lock);
    if (!parent)
        throw SqlFailure(
            QStringList { QStringLiteral("上级商圈%1不存在，请先建立上级商圈！").arg(quoted(shape.parentCode)) });
    return *parent;
}

int descendantCount(const QSqlDatabase &db, const QString &dept, const QString &code)
{
    QSqlQuery q = runSql(db,
        QStringLiteral("select count(*) from tbsqda where f_bmbm = ? and length(f_sqbm) > ? "
                       "and substr(f_sqbm, 1, ?) = ?"),
        { dept, int(code.size()), int(code.size()), code }, QStringLiteral("读取下级商圈时出错。"));
    return q.next() ? q.value(0).toInt() : 0;
}

// The area directly above `code`: the longest of its prefixes that exists.
QString parentOf(const QSqlDatabase &db, const QString &dept, const QString &code)
{
    if (code.size() < 2)
        return {};
    QStringList marks;
    QVariantList values { dept };
    for (qsizetype n = 1; n < code.size(); ++n) {
        marks << QStringLiteral("?");
        values << code.left(n);
    }
    QSqlQuery q = runSql(db,
        QStringLiteral("select f_sqbm from tbsqda where f_bmbm = ? and f_sqbm in (%1)")
            .arg(marks.join(QStringLiteral(", "))),
        values, QStringLiteral("读取上级商圈时出错。"));
    QString parent;
    while (q.next()) {
        const QString c = q.value(0).toString();
        if (c.size() > parent.size())
            parent = c;
    }
    return parent;
}

// The line naming the statement under every message about one.
QString statementLine(const QString &sql)
{
    return QStringLiteral("语句：%1").arg(sql);
}

// The statement text of QueryData and ExecuteSql: one statement, not blank.
SqlStatementText singleStatement(
    const QString &sql, Backend backend, const QString &emptyMessage, const QString &severalMessage)
{
    SqlStatementText text(sql,
        backend == Backend::PostgreSQL ? SqlStatementText::Dialect::PostgreSQL : SqlStatementText::Dialect::SQLite);
    if (text.isEmpty())
        throw SqlFailure(QStringList { emptyMessage });
    if (text.hasSeveralStatements())
        throw SqlFailure(QStringList { severalMessage, statementLine(sql) });
    return text;
}

QString valueText(const sqda::DataStore &s, int col)
{
    return col < 0 || s.isNull(0, col) ? QString() : s.value(0, col).toString();
}

int columnOf(const sqda::DataStore &s, const char *name)
{
    for (int c = 0; c < s.columnCount(); ++c) {
        if (s.defs()[c].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

// How an SQLite connection waits for another workstation's write: it retries
// every 1 to 3 ms, for 10 s at most. SQLite's own busy handler backs off to
// 100 ms between tries, so a writer that has waited long keeps losing the lock
// to newcomers that try sooner; with many workstations some gave up after
// 10 s. Short, jittered tries keep the waiting fair and the waits short.
int sqliteBusyWait(void *, int count)
{
    thread_local QElapsedTimer waited; // one connection per thread waits at a time
    if (count == 0)
        waited.start();
    if (waited.elapsed() > 10000)
        return 0;
    QThread::usleep(1000 + QRandomGenerator::global()->bounded(2000));
    return 1;
}

void installSqliteBusyWait(const QSqlDatabase &conn)
{
    const QVariant v = conn.driver() ? conn.driver()->handle() : QVariant();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *handle = *static_cast<sqlite3 *const *>(v.constData()))
            sqlite3_busy_handler(handle, sqliteBusyWait, nullptr);
    }
}

// True when SQLite opened the file for reading only (it does so by itself when
// it cannot open it for writing).
bool sqliteOpenedReadOnly(const QSqlDatabase &conn)
{
    const QVariant v = conn.driver() ? conn.driver()->handle() : QVariant();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0) {
        if (sqlite3 *handle = *static_cast<sqlite3 *const *>(v.constData()))
            return sqlite3_db_readonly(handle, "main") == 1;
    }
    return false;
}

// Settings every new connection gets, the first and any after a reconnect. A
// read-only SQLite file keeps the journal mode it has: changing it is a write.
void prepareSession(const QSqlDatabase &conn, Backend backend, bool readOnly = false)
{
    if (backend == Backend::PostgreSQL) {
        // The host's quoting of values, and the data-change check of ExecuteSql,
        // read '...' without backslash escapes, as the server must too.
        runSql(
            conn, QStringLiteral("set standard_conforming_strings = on"), {}, QStringLiteral("无法设置数据库会话。"));
        runSql(conn, QStringLiteral("set client_min_messages = warning"), {}, QStringLiteral("无法设置数据库会话。"));
        // Another workstation holding a row: give up after a while instead of freezing the screen.
        runSql(conn, QStringLiteral("set lock_timeout = '15s'"), {}, QStringLiteral("无法设置数据库会话。"));
        return;
    }
    installSqliteBusyWait(conn);
    if (readOnly)
        return;
    // Write-ahead log: readers never wait for a writer and a writer never waits
    // for readers, so many workstations on one file rarely wait at all. The mode
    // is kept in the file; only the first start after a change needs to set it.
    // That change needs the file to itself, and SQLite answers "busy" at once
    // (without its busy handler) when two starts try it together: so it is
    // tried again for a while, and one of them finds the file switched already.
    QElapsedTimer trying;
    trying.start();
    for (;;) {
        try {
            QSqlQuery q
                = runSql(conn, QStringLiteral("pragma journal_mode"), {}, QStringLiteral("无法设置数据库会话。"));
            const QString mode = q.next() ? q.value(0).toString() : QString();
            q.finish(); // an unfinished statement counts as an open transaction, where the mode cannot change
            if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
                return;
            q = runSql(conn, QStringLiteral("pragma journal_mode = wal"), {}, QStringLiteral("无法设置数据库会话。"));
            const QString now = q.next() ? q.value(0).toString() : QString();
            if (now.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
                return;
            throw SqlFailure(
                QStringList { QStringLiteral("无法把 SQLite 数据库设为预写日志（WAL）方式：%1。").arg(now) });
        } catch (const SqlFailure &f) {
            const int primary = f.nativeErrorCode().toInt() & 0xff;
            if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) || trying.elapsed() > 10000)
                throw;
        }
        QThread::usleep(1000 + QRandomGenerator::global()->bounded(4000));
    }
}

PGconn *postgresHandle(const QSqlDatabase &db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type after libpq's struct: "pg_conn*" (PGconn is its typedef).
    if (v.isValid() && (qstrcmp(v.typeName(), "pg_conn*") == 0 || qstrcmp(v.typeName(), "PGconn*") == 0))
        return *static_cast<PGconn *const *>(v.constData());
    return nullptr;
}

// True when the server has closed the connection. Reads whatever the server
// sent meanwhile (its notice of a shutdown or of a terminated backend, then the
// end of the stream) without a round trip, so a healthy connection costs nothing.
bool postgresConnectionLost(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return true;
    PGconn *conn = postgresHandle(db);
    if (!conn)
        return false;
    // The first read may only take the server's farewell message; the end of
    // the stream shows on the next. On a healthy connection each read finds
    // nothing and returns at once.
    for (int read = 0; read < 3 && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_IDLE;
         ++read) {
        if (!PQconsumeInput(conn))
            break;
    }
    return PQstatus(conn) == CONNECTION_BAD;
}

} // namespace

SqlDataService::SqlDataService(DatabaseUrl url, QString connectionName)
    : m_url(std::move(url))
    , m_connectionName(std::move(connectionName))
{
}

SqlDataService::~SqlDataService()
{
    close();
}

unsigned long SqlDataService::AddRef()
{
    return ++m_refs;
}

unsigned long SqlDataService::Release()
{
    const unsigned long n = --m_refs;
    if (n == 0)
        delete this;
    return n;
}

QSqlDatabase SqlDataService::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

void SqlDataService::close()
{
    if (m_connectionName.isEmpty())
        return;
    {
        QSqlDatabase db = database();
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

SqlDataService::Ptr SqlDataService::open(const QString &databaseUrl, const QString &department, QString *error)
{
    return open(databaseUrl, department, error, Options {});
}

namespace {

// Creates a missing PostgreSQL database through the server's maintenance
// database. Returns true when the database exists afterwards, whoever created
// it: workstations starting together on a new database take turns under an
// advisory lock, and the first one creates it. Otherwise `why` says why not.
bool createPostgresDatabase(const DatabaseUrl &url, QString *why)
{
    const QString name = nextConnectionName();
    bool exists = false;
    {
        QString error;
        QSqlDatabase admin = url.withDatabase(QStringLiteral("postgres")).open(name, &error);
        if (!admin.isOpen()) {
            *why = error;
            return false;
        }
        try {
            // CREATE DATABASE cannot run in a transaction, so a session lock; it
            // ends with this connection at the latest.
            runSql(admin, QStringLiteral("select pg_advisory_lock(1262570829, hashtext(?))"), { url.databaseName() },
                QStringLiteral("无法锁定数据库列表。"));
            QSqlQuery q = runSql(admin, QStringLiteral("select 1 from pg_database where datname = ?"),
                { url.databaseName() }, QStringLiteral("无法查询数据库列表。"));
            exists = q.next();
            q = QSqlQuery();
            if (!exists) {
                QString ident = url.databaseName();
                ident.replace(u'"', QStringLiteral("\"\""));
                try {
                    runSql(admin,
                        QStringLiteral("create database \"%1\" encoding 'UTF8' template template0").arg(ident), {},
                        QStringLiteral("无法建立数据库 %1（可用 createdb 预先建立）。").arg(url.databaseName()));
                    exists = true;
                } catch (const SqlFailure &f) {
                    // 42P04: created meanwhile by a host that does not take the lock.
                    if (f.nativeErrorCode() != QLatin1String("42P04"))
                        throw;
                    exists = true;
                }
            }
        } catch (const SqlFailure &f) {
            *why = f.lines().join(u'\n');
        }
        admin.close();
    }
    QSqlDatabase::removeDatabase(name);
    return exists;
}

} // namespace

SqlDataService::Ptr SqlDataService::open(
    const QString &databaseUrl, const QString &department, QString *error, const Options &options)
{
    QString why;
    auto report = [&](const QString &text) {
        if (error)
            *error = text;
        return Ptr();
    };
    const std::optional<DatabaseUrl> url = DatabaseUrl::parse(databaseUrl, &why);
    if (!url)
        return report(why);
    if (url->backend() == Backend::SQLite) {
        const QString dir = QFileInfo(url->filePath()).absolutePath();
        if (!QDir().mkpath(dir))
            return report(QStringLiteral("无法建立数据文件夹 %1。").arg(QDir::toNativeSeparators(dir)));
    }

    const QString name = nextConnectionName();
    QSqlDatabase db = url->open(name, &why);
    if (!db.isOpen() && url->backend() == Backend::PostgreSQL) {
        // The first failure may be a missing database: create it (or find that
        // another workstation just has) and try once more. When that second try
        // fails too, its own message is the one that counts.
        QString createWhy;
        if (createPostgresDatabase(*url, &createWhy))
            db = url->open(name, &why);
        else if (!createWhy.isEmpty())
            why += u'\n' + createWhy;
    }
    if (!db.isOpen())
        return report(why);
    db = QSqlDatabase(); // the service finds its connection by name from here on

    Ptr service(new SqlDataService(*url, name));
    service->m_queryLimits = options.queryLimits;
    try {
        const QSqlDatabase conn = service->database();
        if (url->backend() == Backend::SQLite) {
            service->m_readOnlyReason = url->sqliteReadOnlyReason();
            if (service->m_readOnlyReason.isEmpty() && sqliteOpenedReadOnly(conn))
                service->m_readOnlyReason = QStringLiteral("SQLite 只能以只读方式打开它");
        }
        const bool readOnly = !service->m_readOnlyReason.isEmpty();
        prepareSession(conn, url->backend(), readOnly);

        // A start only reads, unless the schema is missing, older than the
        // width checks, or (PostgreSQL) without its query reader: a write lock
        // here would make every workstation's start queue behind every other's
        // writes.
        const bool postgres = url->backend() == Backend::PostgreSQL;
        const bool tablesMissing = !Schema::missingTables(conn).isEmpty();
        QString readerWhy;
        const ReaderRole::State reader
            = postgres && !tablesMissing ? ReaderRole::check(conn, &readerWhy) : ReaderRole::State::Incomplete;
        if (postgres && reader == ReaderRole::State::TooPowerful)
            return report(readerWhy);
        if (readOnly && tablesMissing) {
            // Tables that cannot be read look missing: a file SQLite cannot read is said so.
            runSql(conn, QStringLiteral("select count(*) from sqlite_master"), {}, QStringLiteral("无法读取数据库。"));
            return report(QStringLiteral("SQLite 数据库 %1 是只读的（%2），其中还没有商圈档案的表，无法建立。"
                                         "请给这个文件写权限，或使用另一个可写的数据库文件。")
                              .arg(QDir::toNativeSeparators(url->filePath()), service->m_readOnlyReason));
        }
        // A read-only file from before the width checks is read as it is: the
        // checks only guard writes, which it refuses anyway.
        if (!readOnly
            && (tablesMissing || !Schema::hasWidthChecks(conn) || (postgres && reader != ReaderRole::State::Ready))) {
            SqlTransaction tx(conn, url->backend(), Mode::Write);
            if (postgres) // hosts starting together create the schema once
                runSql(conn, QStringLiteral("select pg_advisory_xact_lock(1262570829)"), {},
                    QStringLiteral("无法锁定数据库结构。"));
            // Again under the lock: another host may have created it meanwhile.
            const QStringList missing = Schema::missingTables(conn);
            if (!missing.isEmpty()) {
                Schema::create(conn);
                if (options.seedDemoData && missing.contains(QStringLiteral("tbsqda")))
                    DemoData::seed(conn);
            } else {
                Schema::ensureWidthChecks(conn); // a database from before the checks
            }
            if (postgres) {
                const ReaderRole::State state = ReaderRole::check(conn, &readerWhy);
                if (state == ReaderRole::State::TooPowerful)
                    return report(readerWhy);
                if (state == ReaderRole::State::Incomplete)
                    ReaderRole::setUp(conn);
            }
            tx.commit();
        }

        QSqlQuery q = department.isEmpty() ? runSql(conn, QStringLiteral("select f_bmbm from tbsqfj order by f_bmbm"),
                          {}, QStringLiteral("读取部门时出错。"))
                                           : runSql(conn, QStringLiteral("select f_bmbm from tbsqfj where f_bmbm = ?"),
                                               { department }, QStringLiteral("读取部门时出错。"));
        if (q.next()) {
            service->m_department = q.value(0).toString();
        } else if (!department.isEmpty()) {
            q = QSqlQuery();
            const QStringList known = service->departments();
            return report(QStringLiteral("部门%1不存在。数据库中的部门：%2")
                              .arg(quoted(department),
                                  known.isEmpty() ? QStringLiteral("（无）") : known.join(QStringLiteral("，"))));
        }
    } catch (const SqlFailure &f) {
        QStringList lines = f.lines();
        // SQLite cannot read a WAL file without its shared-memory file, which a
        // read-only session may be unable to create beside it.
        if (!service->m_readOnlyReason.isEmpty())
            lines.prepend(QStringLiteral("SQLite 数据库 %1 是只读的（%2），无法读取。预写日志（WAL）方式的文件需要"
                                         "在所在文件夹里建立 -shm 文件：请让这个文件夹可写。")
                              .arg(QDir::toNativeSeparators(url->filePath()), service->m_readOnlyReason));
        return report(lines.join(u'\n'));
    }
    return service;
}

QStringList SqlDataService::departments(QString *error)
{
    QStringList out;
    try {
        QSqlQuery q = runSql(database(), QStringLiteral("select f_bmbm, f_bmmc from tbsqfj order by f_bmbm"), {},
            QStringLiteral("读取部门时出错。"));
        while (q.next())
            out << q.value(0).toString() + u' ' + q.value(1).toString();
    } catch (const SqlFailure &f) {
        if (error)
            *error = f.lines().join(u'\n');
    }
    return out;
}

QString SqlDataService::firstOperator(QString *error)
{
    try {
        QSqlQuery q = runSql(database(), QStringLiteral("select f_zybm from tbzyda order by f_zybm"), {},
            QStringLiteral("读取操作员时出错。"));
        return q.next() ? q.value(0).toString() : QString();
    } catch (const SqlFailure &f) {
        if (error)
            *error = f.lines().join(u'\n');
    }
    return {};
}

QString SqlDataService::operatorName(const QString &code, QString *error)
{
    try {
        QSqlQuery q = runSql(database(), QStringLiteral("select f_zymc from tbzyda where f_zybm = ?"), { code },
            QStringLiteral("读取操作员时出错。"));
        if (q.next())
            return q.value(0).toString();
        if (error)
            *error = QStringLiteral("操作员%1不存在！").arg(quoted(code));
    } catch (const SqlFailure &f) {
        if (error)
            *error = f.lines().join(u'\n');
    }
    return {};
}

QVariant SqlDataService::Invoke(int dispId, QVariantList &args)
{
    // Where the error value goes: the by-reference argument of the operation.
    const int errorIndex = dispId == sqda::DispQueryData || dispId == sqda::DispGetOperatorName ? 1 : 0;
    try {
        if (dispId == sqda::DispGetDatabaseType)
            return QStringLiteral("SQLSERVER"); // the dialect the library writes; simple enough for both engines
        if (m_connectionName.isEmpty())
            throw SqlFailure(QStringList { QStringLiteral("与数据库的连接已经关闭。") });
        ensureConnected();
        try {
            return dispatch(dispId, args);
        } catch (const SqlFailure &f) {
            if (backend() != Backend::PostgreSQL || !postgresConnectionLost(database()))
                throw;
            // Cut off mid-call: the server ends the transaction of a lost
            // connection without committing it, so nothing of this call stays.
            // The next call connects again.
            throw SqlFailure(QStringList { QStringLiteral("与数据库的连接中断了，这次操作没有完成，没有修改任何数据。"),
                                 QStringLiteral("请重试。") }
                + f.lines());
        }
    } catch (const SqlFailure &f) {
        return fail(args, errorIndex, f.lines());
    } catch (const std::exception &e) {
        return fail(args, errorIndex, { QStringLiteral("主机内部错误。"), QString::fromUtf8(e.what()) });
    } catch (...) {
        return fail(args, errorIndex, { QStringLiteral("主机内部错误。") });
    }
}

void SqlDataService::ensureConnected()
{
    QSqlDatabase db = database();
    if (backend() != Backend::PostgreSQL) {
        if (!db.isOpen())
            throw SqlFailure(QStringList { QStringLiteral("与数据库的连接已经关闭。") });
        return;
    }
    if (!postgresConnectionLost(db))
        return;
    // A restarting server takes a moment to accept connections again. About
    // four seconds in all, then the call fails; the next call tries again.
    static constexpr unsigned long delaysMs[] = { 0, 100, 250, 500, 1000, 2000 };
    QString why;
    for (const unsigned long delay : delaysMs) {
        QThread::msleep(delay);
        db.close();
        if (!db.open()) {
            why = db.lastError().text().trimmed();
            continue;
        }
        try {
            prepareSession(db, backend());
            return;
        } catch (const SqlFailure &f) {
            why = f.lines().join(u' ');
        }
    }
    db.close();
    throw SqlFailure(QStringList {
        QStringLiteral("与数据库的连接中断了，重新连接没有成功。"), QStringLiteral("数据库的消息：%1").arg(why) });
}

void SqlDataService::requireWritable() const
{
    if (m_readOnlyReason.isEmpty())
        return;
    throw SqlFailure(QStringList { QStringLiteral("数据库是只读的，不能修改数据，这次操作没有执行。"),
        QStringLiteral("SQLite 数据库 %1：%2。").arg(QDir::toNativeSeparators(m_url.filePath()), m_readOnlyReason) });
}

QVariant SqlDataService::dispatch(int dispId, QVariantList &args)
{
    switch (dispId) {
    case sqda::DispQueryData:
        return queryData(args);
    case sqda::DispExecuteSql:
        return executeSql(args);
    case sqda::DispGetServerYearMonth:
        return serverClock(args, 6);
    case sqda::DispGetServerDate:
        return serverClock(args, 8);
    case sqda::DispGetServerDateTime:
        return serverClock(args, 16);
    case sqda::DispGetOperatorName:
        return getOperatorName(args);
    case sqda::DispGetSystemParameters:
        return getSystemParameters(args);
    case sqda::DispGetCodeLevels:
        return getCodeLevels(args);
    case sqda::DispCheckAreaCode:
        return checkAreaCode(args);
    case sqda::DispDeleteArea:
        return deleteArea(args);
    case sqda::DispInsertArea:
        return insertArea(args);
    default:
        throw SqlFailure(QStringList { QStringLiteral("主机没有编号为 %1 的操作。").arg(dispId) });
    }
}

QVariant SqlDataService::queryData(QVariantList &args)
{
    needArguments(args, 2);
    const QString sql = args.at(0).toString();
    const bool postgres = backend() == Backend::PostgreSQL;
    const SqlStatementText text(
        sql, postgres ? SqlStatementText::Dialect::PostgreSQL : SqlStatementText::Dialect::SQLite);
    // The look at the text only words the common refusals kindly; what keeps a
    // query from writing is the engine: SQLite's authorizer and read-only
    // check, PostgreSQL's one-statement protocol, read-only transaction and
    // reader role. So the text the engine runs is the caller's, unchanged.
    if (text.isEmpty())
        throw SqlFailure(QStringList { QStringLiteral("查询语句为空！") });
    if (!postgres && text.hasSeveralStatements())
        throw SqlFailure(QStringList { QStringLiteral("一次只能执行一条查询语句！"), statementLine(sql) });
    if (!text.looksLikeQuery())
        throw SqlFailure(
            QStringList { QStringLiteral("这里只能执行查询（SELECT）语句，不能修改数据！"), statementLine(sql) });

    const QSqlDatabase db = database();
    const QString failed = QStringLiteral("查询数据时出错。");
    if (postgres) {
        // The read-only transaction and the reader role go to the server with
        // the statement's preparation, in its first round trip; the rollback,
        // which undoes the role and every setting the query changed, and the
        // release of the session-level advisory locks, which outlive a
        // transaction, in one more after the rows, whatever happened.
        const auto end = qScopeGuard([&db] { ReaderRole::endQuery(db); });
        args[1] = QueryPacket::run(db, backend(), sql, {}, failed, { statementLine(sql) }, m_queryLimits, nullptr,
            { { QByteArrayLiteral("BEGIN READ ONLY"), QStringLiteral("无法开始数据库事务。") },
                { ReaderRole::enterStatement(), ReaderRole::enterFailure() } });
        return true;
    }
    SqlTransaction tx(db, backend(), Mode::Read); // never committed: a query has nothing to keep
    const SqliteAuthorizer guard(db, SqliteAuthorizer::Policy::ReadOnly);
    args[1] = QueryPacket::run(db, backend(), text.statement(), {}, failed, { statementLine(sql) }, m_queryLimits);
    return true;
}

QVariant SqlDataService::executeSql(QVariantList &args)
{
    needArguments(args, 1);
    requireWritable();
    const QString sql = args.at(0).toString();
    const SqlStatementText text = singleStatement(
        sql, backend(), QStringLiteral("SQL 语句为空！"), QStringLiteral("一次只能执行一条 SQL 语句！"));
    if (text.isTransactionControl())
        throw SqlFailure(QStringList {
            QStringLiteral("事务由主机管理，不能执行 %1 语句！").arg(text.firstKeyword()), statementLine(sql) });
    // Only what the screens send: a plain change of the product's data. Settings,
    // pragmas, roles, procedures and server programs stay out of a caller's reach.
    // The text checked is the text run: only blanks and semicolons at its end go.
    QString change = sql;
    while (!change.isEmpty() && (change.back().isSpace() || change.back() == u';'))
        change.chop(1);
    QString why;
    if (!DataChangeStatement::parse(change, &why))
        throw SqlFailure(
            QStringList { QStringLiteral("这里只能修改商圈档案的数据，这条语句没有执行。"), why, statementLine(sql) });

    const QSqlDatabase db = database();
    SqlTransaction tx(db, backend(), Mode::Write);
    int affected = 0;
    {
        std::optional<SqliteAuthorizer> guard;
        if (backend() == Backend::SQLite)
            guard.emplace(db, SqliteAuthorizer::Policy::DataChange);
        const QString failed = QStringLiteral("执行 SQL 语句时出错，没有修改任何数据。");
        if (backend() == Backend::PostgreSQL) {
            // One statement by the server's own rule, whatever the check above read.
            affected = int(runPostgresStatement(db, change, failed, { statementLine(sql) }));
        } else {
            QSqlQuery q(db);
            if (!q.exec(change))
                throw SqlFailure(QStringList { failed, SqlFailure::databaseText(q.lastError()), statementLine(sql) });
            affected = q.numRowsAffected();
        }
    }
    // A rename of an area another workstation has deleted meanwhile changes
    // nothing; saying so beats showing a new name that was never stored.
    const QString verb = text.firstKeyword();
    if (affected == 0 && (verb == QLatin1String("UPDATE") || verb == QLatin1String("DELETE")))
        throw SqlFailure(QStringList {
            QStringLiteral("没有找到要修改的记录，可能已被其他工作站删除，请刷新！"), statementLine(sql) });
    tx.commit();
    return true;
}

QVariant SqlDataService::serverClock(QVariantList &args, int length)
{
    needArguments(args, 1);
    const QString sql = backend() == Backend::PostgreSQL
        ? QStringLiteral("select to_char(localtimestamp, 'YYYYMMDDHH24:MI:SS')")
        : QStringLiteral("select strftime('%Y%m%d%H:%M:%S', 'now', 'localtime')");
    QSqlQuery q = runSql(database(), sql, {}, QStringLiteral("取得服务器时间时出错。"));
    if (!q.next())
        throw SqlFailure(QStringList { QStringLiteral("取得服务器时间时出错。") });
    // "yyyyMMddHH:mm:ss": the date is its first 8 characters, the time of day characters 9 to 16.
    args[0] = q.value(0).toString().left(length);
    return true;
}

QVariant SqlDataService::getOperatorName(QVariantList &args)
{
    needArguments(args, 2);
    const QString code = args.at(1).toString();
    checkSize(code, Schema::OperatorCodeSize, QStringLiteral("操作员编码"));
    const QSqlDatabase db = database();
    // One statement of the host's own reads consistently without a
    // transaction around it, which on PostgreSQL took two more round trips.
    qsizetype rows = 0;
    QByteArray packet
        = QueryPacket::runSmall(db, backend(), QStringLiteral("select f_zymc from tbzyda where f_zybm = ?"), { code },
            QStringLiteral("读取操作员时出错。"), &rows);
    if (rows == 0)
        throw SqlFailure(QStringList { QStringLiteral("操作员%1不存在！").arg(quoted(code)) });
    args[1] = std::move(packet);
    return true;
}

QVariant SqlDataService::getSystemParameters(QVariantList &args)
{
    needArguments(args, 1);
    QSqlQuery q = runSql(database(), QStringLiteral("select f_csmc, f_csz from tbxtcs order by f_csmc"), {},
        QStringLiteral("读取系统参数时出错。"));
    sqda::DataStore store({ { QStringLiteral("f_Csmc"), sqda::FieldType::String, 40, {} },
        { QStringLiteral("f_csz"), sqda::FieldType::String, 200, {} } });
    // The department the session acts as replaces whatever the table says.
    bool hasDepartment = false;
    auto append = [&store](const QString &key, const QString &value) {
        store.appendString(0, key);
        store.appendString(1, value);
        store.commitRow();
    };
    while (q.next()) {
        const QString key = q.value(0).toString();
        if (key.compare(QLatin1String("dybm"), Qt::CaseInsensitive) == 0) {
            if (hasDepartment)
                continue; // one dybm row, so no earlier row can shadow the session's department
            hasDepartment = true;
            append(key, m_department);
        } else {
            append(key, q.value(1).toString());
        }
    }
    if (!hasDepartment)
        append(QStringLiteral("dybm"), m_department);
    args[0] = sqda::Packet::encode(store);
    return true;
}

QVariant SqlDataService::getCodeLevels(QVariantList &args)
{
    needArguments(args, 1);
    const QString dept = args.at(0).toString();
    checkSize(dept, Schema::DepartmentCodeSize, QStringLiteral("部门编码"));
    QSqlQuery q = runSql(database(), QStringLiteral("select f_fjjg from tbsqfj where f_bmbm = ?"), { dept },
        QStringLiteral("读取商圈分级时出错。"));
    if (!q.next())
        throw SqlFailure(QStringList { QStringLiteral("部门%1没有设置商圈分级！").arg(quoted(dept)) });
    args[0] = q.value(0).toString().trimmed();
    return true;
}

QVariant SqlDataService::checkAreaCode(QVariantList &args)
{
    needArguments(args, 1);
    requireWritable();
    const auto [dept, code] = departmentAndCode(args.at(0));
    const QSqlDatabase db = database();
    SqlTransaction tx(db, backend(), Mode::Read);
    const CodeLevels::Shape shape = shapeUnder(db, dept, code);
    requireNewCode(db, backend(), dept, code);
    QString question;
    if (shape.level == 1) {
        question = QStringLiteral("你想建立第 1 级商圈%1吗？").arg(quoted(code));
    } else {
        const AreaRow parent = requireParent(db, backend(), dept, shape, false);
        question = QStringLiteral("你想建立第 %1 级商圈%2（上级商圈：%3 %4）吗？")
                       .arg(shape.level)
                       .arg(quoted(code), shape.parentCode, parent.name);
    }
    args[0] = QVariantList { question, shape.level };
    return true;
}

QVariant SqlDataService::insertArea(QVariantList &args)
{
    needArguments(args, 1);
    requireWritable();
    const QVariant in = args.at(0);
    if (in.typeId() != QMetaType::QByteArray)
        throw SqlFailure(QStringList { QStringLiteral("插入商圈时应传入一行商圈记录的数据包。") });
    const sqda::Result<sqda::DataStore> store = sqda::Packet::decode(in.toByteArray());
    if (!store)
        throw SqlFailure(QStringList { QStringLiteral("插入商圈的数据包无效。"), store.error() });
    if (store->rowCount() != 1)
        throw SqlFailure(
            QStringList { QStringLiteral("插入商圈的数据包应只有一行记录，而它有 %1 行。").arg(store->rowCount()) });
    const int cBm = columnOf(*store, "f_bmbm"), cCode = columnOf(*store, "f_sqbm"), cName = columnOf(*store, "f_sqmc"),
              cLevel = columnOf(*store, "f_jb");
    if (cBm < 0 || cCode < 0 || cName < 0 || cLevel < 0)
        throw SqlFailure(
            QStringList { QStringLiteral("插入商圈的数据包缺少字段：应有 f_bmbm、f_sqbm、f_sqmc 和 f_jb。") });
    const QString dept = valueText(*store, cBm);
    const QString code = valueText(*store, cCode);
    const QString name = valueText(*store, cName);
    bool levelOk = false;
    const int level = valueText(*store, cLevel).toInt(&levelOk);
    checkAreaKeySizes(dept, code);
    if (name.trimmed().isEmpty())
        throw SqlFailure(QStringList { QStringLiteral("商圈名称不能为空！") });
    if (name.size() > Schema::AreaNameSize)
        throw SqlFailure(QStringList { QStringLiteral("商圈名称不能超过 %1 个字符！").arg(Schema::AreaNameSize) });

    const QSqlDatabase db = database();
    SqlTransaction tx(db, backend(), Mode::Write);
    const CodeLevels::Shape shape = shapeUnder(db, dept, code);
    if (!levelOk || level != shape.level)
        throw SqlFailure(QStringList { QStringLiteral("商圈%1按本部门的分级是第 %2 级，而数据包中的级别是“%3”。")
                                           .arg(quoted(code))
                                           .arg(shape.level)
                                           .arg(valueText(*store, cLevel)) });
    // The parent row is locked first, so a delete of the parent or a second
    // insert below it waits for this transaction.
    if (shape.level > 1)
        requireParent(db, backend(), dept, shape, true);
    requireNewCode(db, backend(), dept, code);
    try {
        runSql(db, QStringLiteral("insert into tbsqda (f_bmbm, f_sqbm, f_sqmc, f_jb, f_mj) values (?, ?, ?, ?, 1)"),
            { dept, code, name, shape.level }, QStringLiteral("保存商圈时出错，没有保存。"));
    } catch (const SqlFailure &f) {
        // Another host stored the same code between our check and our insert.
        if (isUniqueViolation(f.nativeErrorCode(), backend()))
            throw SqlFailure(QStringList { codeTakenMessage(code) });
        throw;
    }
    if (shape.level > 1)
        runSql(db, QStringLiteral("update tbsqda set f_mj = 0 where f_bmbm = ? and f_sqbm = ?"),
            { dept, shape.parentCode }, QStringLiteral("更新上级商圈时出错，没有保存。"));
    tx.commit();
    args[0] = shape.parentCode;
    return true;
}

QVariant SqlDataService::deleteArea(QVariantList &args)
{
    needArguments(args, 1);
    requireWritable();
    const auto [dept, code] = departmentAndCode(args.at(0));
    const QSqlDatabase db = database();
    SqlTransaction tx(db, backend(), Mode::Write);
    // Ancestor before descendant, the order inserts lock in too.
    const QString parent = parentOf(db, dept, code);
    if (!parent.isEmpty())
        findArea(db, backend(), dept, parent, true);
    const std::optional<AreaRow> area = findArea(db, backend(), dept, code, true);
    if (!area)
        throw SqlFailure(
            QStringList { QStringLiteral("商圈%1不存在，可能已被其他工作站删除，请刷新！").arg(quoted(code)) });
    if (const int below = descendantCount(db, dept, code); below > 0)
        throw SqlFailure(QStringList {
            QStringLiteral("商圈%1（%2）下还有 %3 个下级商圈，不能删除！").arg(quoted(code), area->name).arg(below),
            QStringLiteral("请先删除它的下级商圈。") });
    runSql(db, QStringLiteral("delete from tbsqda where f_bmbm = ? and f_sqbm = ?"), { dept, code },
        QStringLiteral("删除商圈时出错，没有删除。"));
    if (!parent.isEmpty() && descendantCount(db, dept, parent) == 0)
        runSql(db, QStringLiteral("update tbsqda set f_mj = 1 where f_bmbm = ? and f_sqbm = ?"), { dept, parent },
            QStringLiteral("更新上级商圈时出错，没有删除。"));
    tx.commit();
    return true;
}

} // namespace kalmora
