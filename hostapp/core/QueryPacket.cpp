#include "QueryPacket.h"

#include "PacketBuilder.h"
#include "SqlExec.h"
#include "SqlFailure.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDriver>
#include <QTimeZone>
#include <QVariant>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace kalmora {

using sqda::FieldType;

namespace {

// What went wrong, then the caller's summary in front and its context behind.
[[noreturn]] void failWith(const QString &summary, const QStringList &middle, const QStringList &context)
{
    QStringList lines { summary };
    lines << middle << context;
    throw SqlFailure(lines);
}

QString engineText(const char *message)
{
    return QStringLiteral("数据库的消息：%1").arg(QString::fromUtf8(message).trimmed());
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("查询结果超过了 %1 MB 的大小限制，没有返回。")
        .arg(double(maxBytes) / (1024 * 1024), 0, 'g', 4);
}

QString tooSlow(int timeoutMs)
{
    return QStringLiteral("查询超过了 %1 秒的时间限制，已经停止。").arg(double(timeoutMs) / 1000, 0, 'g', 4);
}

const QString narrowDown = QStringLiteral("请加上条件缩小查询范围后再试。");

// The driver's own connection handle; `typeNames` are the names Qt registers
// the pointer type under (the PostgreSQL driver's is the struct's name).
template<typename Handle> Handle *nativeHandle(const QSqlDatabase &db, std::initializer_list<const char *> typeNames)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid())
        return nullptr;
    for (const char *name : typeNames) {
        if (qstrcmp(v.typeName(), name) == 0)
            return *static_cast<Handle *const *>(v.constData());
    }
    return nullptr;
}

// ---------------------------------------------------------------- SQLite

// The column type a declared SQLite type stands for; the same reading Qt's
// driver gives the declaration.
FieldType sqliteDeclared(const char *decl, bool *known)
{
    *known = decl && *decl;
    if (!*known)
        return FieldType::String;
    const QByteArray t = QByteArray(decl).toLower();
    if (t == "integer" || t == "int")
        return FieldType::Int32;
    if (t == "double" || t == "float" || t == "real" || t.startsWith("numeric"))
        return FieldType::Double;
    if (t == "boolean" || t == "bool")
        return FieldType::Bool;
    return FieldType::String;
}

// An expression column has no declared type: the first row's value says.
FieldType sqliteStored(int storage)
{
    switch (storage) {
    case SQLITE_INTEGER:
        return FieldType::Int32;
    case SQLITE_FLOAT:
        return FieldType::Double;
    default:
        return FieldType::String;
    }
}

struct StatementDeleter
{
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

struct ProgressClock
{
    QElapsedTimer timer;
    int limitMs = 0;
    bool expired = false;
};

int checkClock(void *p)
{
    auto *clock = static_cast<ProgressClock *>(p);
    if (clock->timer.elapsed() > clock->limitMs)
        clock->expired = true;
    return clock->expired ? 1 : 0; // non-zero interrupts the statement
}

// Removes the progress handler however the read ends.
struct ProgressGuard
{
    sqlite3 *db = nullptr;
    ~ProgressGuard()
    {
        if (db)
            sqlite3_progress_handler(db, 0, nullptr, nullptr);
    }
};

bool blankOrComments(const char *p)
{
    // What sqlite3_prepare leaves behind the statement: blanks and comments
    // are fine, anything else is a second statement.
    while (*p) {
        if (std::isspace(uchar(*p)) || *p == ';') {
            ++p;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char *end = std::strstr(p + 2, "*/");
            if (!end)
                return true; // an unterminated comment runs to the end
            p = end + 2;
        } else {
            return false;
        }
    }
    return true;
}

QByteArray readSqlite(sqlite3 *db, const QString &sql, const QStringList &params, const QString &summary,
    const QStringList &context, const QueryPacket::Limits &limits, qsizetype *rowsOut)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *raw = nullptr;
    const char *tail = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()) + 1, &raw, &tail) != SQLITE_OK)
        failWith(summary, { engineText(sqlite3_errmsg(db)) }, context);
    const std::unique_ptr<sqlite3_stmt, StatementDeleter> st(raw);
    if (!st)
        failWith(summary, { QStringLiteral("查询语句为空！") }, context);
    if (tail && !blankOrComments(tail))
        failWith(summary, { QStringLiteral("一次只能执行一条查询语句！") }, context);
    // The authorizer already refuses writes while the statement compiles; the
    // engine's own verdict on the compiled statement is a second check.
    if (!sqlite3_stmt_readonly(st.get()))
        failWith(summary, { QStringLiteral("这里只能执行查询（SELECT）语句，不能修改数据！") }, context);
    if (sqlite3_bind_parameter_count(st.get()) != params.size())
        failWith(summary,
            { QStringLiteral("语句需要 %1 个参数，却给了 %2 个。")
                    .arg(sqlite3_bind_parameter_count(st.get()))
                    .arg(params.size()) },
            context);
    for (int i = 0; i < params.size(); ++i) {
        const QByteArray v = params.at(i).toUtf8();
        sqlite3_bind_text(st.get(), i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }

    ProgressClock clock;
    ProgressGuard progress;
    if (limits.timeoutMs > 0) {
        clock.limitMs = limits.timeoutMs;
        clock.timer.start();
        progress.db = db;
        sqlite3_progress_handler(db, 10000, checkClock, &clock);
    }

    const int cols = sqlite3_column_count(st.get());
    int rc = sqlite3_step(st.get());
    std::vector<PacketBuilder::Column> columns;
    for (int c = 0; c < cols; ++c) {
        PacketBuilder::Column col;
        col.name = QString::fromUtf8(sqlite3_column_name(st.get(), c));
        bool declared = false;
        col.type = sqliteDeclared(sqlite3_column_decltype(st.get(), c), &declared);
        if (!declared && rc == SQLITE_ROW)
            col.type = sqliteStored(sqlite3_column_type(st.get(), c));
        columns.push_back(std::move(col));
    }
    PacketBuilder out(std::move(columns));
    sqlite3_stmt *s = st.get();
    for (; rc == SQLITE_ROW; rc = sqlite3_step(s)) {
        out.beginRow();
        for (int c = 0; c < cols; ++c) {
            // One call into the statement per cell; the value's own accessors
            // need no lock, and the connection is this thread's alone.
            sqlite3_value *v = sqlite3_column_value(s, c);
            switch (sqlite3_value_type(v)) {
            case SQLITE_NULL:
                out.null();
                break;
            case SQLITE_INTEGER:
                out.integer(c, sqlite3_value_int64(v));
                break;
            case SQLITE_FLOAT:
                out.real(c, sqlite3_value_double(v));
                break;
            case SQLITE_BLOB: {
                const void *b = sqlite3_value_blob(v);
                out.bytes(c, static_cast<const uchar *>(b), sqlite3_value_bytes(v));
                break;
            }
            default: {
                const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
                out.text(c, t, sqlite3_value_bytes(v));
            }
            }
        }
        if (limits.maxBytes > 0 && out.byteCount() > limits.maxBytes)
            failWith(summary, { tooLarge(limits.maxBytes), narrowDown }, context);
    }
    if (rc != SQLITE_DONE) {
        if (clock.expired)
            failWith(summary, { tooSlow(limits.timeoutMs), narrowDown }, context);
        failWith(summary, { engineText(sqlite3_errmsg(db)) }, context);
    }
    if (rowsOut)
        *rowsOut = out.rowCount();
    return out.finish();
}

// ---------------------------------------------------------------- PostgreSQL

// Type identifiers of the server's built-in types (pg_type.oid).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    RegprocOid = 24,
    OidOid = 26,
    XidOid = 28,
    CidOid = 29,
    Float4Oid = 700,
    Float8Oid = 701,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    TimeTzOid = 1266,
    BitOid = 1560,
    VarbitOid = 1562,
    NumericOid = 1700,
};

// How the text the server sends for a column is read.
enum class PgKind { Text, Bool, Integer, Real, Date, Timestamp, Bytea };

struct PgColumn
{
    PgKind kind;
    FieldType type;
};

PgColumn pgColumn(Oid type)
{
    switch (type) {
    case BoolOid:
        return { PgKind::Bool, FieldType::Bool };
    case Int8Oid:
        return { PgKind::Integer, FieldType::Int64 };
    case Int2Oid:
    case Int4Oid:
    case OidOid:
    case RegprocOid:
    case XidOid:
    case CidOid:
        return { PgKind::Integer, FieldType::Int32 };
    case NumericOid:
    case Float4Oid:
    case Float8Oid:
        return { PgKind::Real, FieldType::Double };
    case DateOid:
        return { PgKind::Date, FieldType::Date };
    case TimestampOid:
    case TimestampTzOid:
        return { PgKind::Timestamp, FieldType::DateTime };
    case ByteaOid:
        return { PgKind::Bytea, FieldType::String };
    default: // text, varchar, time of day, uuid, json, arrays...: the server's text
        return { PgKind::Text, FieldType::String };
    }
}

// The declared width of a text column: varchar(n) and char(n) carry n in the
// type modifier, fixed-size types their byte size.
int pgTextSize(const PGresult *res, int col)
{
    const Oid type = PQftype(res, col);
    const int size = PQfsize(res, col);
    const int modifier = PQfmod(res, col);
    if (type == BitOid || type == VarbitOid)
        return std::max(modifier, 0);
    if (size > 0)
        return size;
    return modifier >= 4 ? modifier - 4 : 0; // the modifier counts a 4-byte length word
}

struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

QDate isoDate(const char *p, qsizetype n)
{
    // The session's DateStyle is ISO: yyyy-mm-dd, or something else for
    // infinity and dates before Christ or after 9999, which only text holds.
    if (n != 10 || p[4] != '-' || p[7] != '-')
        return {};
    int y = 0, m = 0, d = 0;
    if (std::from_chars(p, p + 4, y).ptr != p + 4 || std::from_chars(p + 5, p + 7, m).ptr != p + 7
        || std::from_chars(p + 8, p + 10, d).ptr != p + 10)
        return {};
    return QDate(y, m, d);
}

QDateTime isoTimestamp(const char *p, qsizetype n)
{
    // "2026-12-09 10:11:12.345678" or with the session's offset "+08" /
    // "+05:30"; a timestamp without one is taken as UTC.
    if (n < 19 || !isoDate(p, 10).isValid())
        return {};
    QString s = QString::fromLatin1(p, n);
    s[10] = u'T';
    const QStringView time = QStringView(s).sliced(11);
    if (!time.contains(u'+') && !time.contains(u'-'))
        s += u'Z';
    else if (const qsizetype sign = std::max(s.lastIndexOf(u'+'), s.lastIndexOf(u'-')); s.size() - sign == 3)
        s += QStringLiteral(":00"); // "+08" → "+08:00"
    return QDateTime::fromString(s, Qt::ISODateWithMs);
}

// COPY's text format: a backslash escapes the next character (backslash-t a
// tab, backslash-n a line feed, two backslashes one, backslash and octal
// digits or x and hexadecimal digits a byte).
// Writes the unescaped bytes of [p, end) into `out` and returns their count.
qsizetype unescapeCopyText(const char *p, const char *end, char *out)
{
    char *o = out;
    auto hexDigit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'  ? c - 'a' + 10
            : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                    : -1;
    };
    while (p < end) {
        if (*p != '\\' || p + 1 == end) {
            *o++ = *p++;
            continue;
        }
        const char c = p[1];
        p += 2;
        switch (c) {
        case 'b':
            *o++ = '\b';
            break;
        case 'f':
            *o++ = '\f';
            break;
        case 'n':
            *o++ = '\n';
            break;
        case 'r':
            *o++ = '\r';
            break;
        case 't':
            *o++ = '\t';
            break;
        case 'v':
            *o++ = '\v';
            break;
        case 'x':
            if (p < end && hexDigit(*p) >= 0) {
                int v = hexDigit(*p++);
                if (p < end && hexDigit(*p) >= 0)
                    v = v * 16 + hexDigit(*p++);
                *o++ = char(v);
            } else {
                *o++ = 'x';
            }
            break;
        default:
            if (c >= '0' && c <= '7') {
                int v = c - '0';
                for (int k = 0; k < 2 && p < end && *p >= '0' && *p <= '7'; ++k)
                    v = v * 8 + (*p++ - '0');
                *o++ = char(v);
            } else {
                *o++ = c; // a backslash and any other escaped character stand for themselves
            }
        }
    }
    return o - out;
}

class PostgresReader
{
public:
    PostgresReader(PGconn *conn, const QString &summary, const QStringList &context)
        : m_conn(conn)
        , m_summary(summary)
        , m_context(context)
    {
    }

    [[noreturn]] void fail(const PGresult *res) const
    {
        const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
        if (state && qstrcmp(state, "57014") == 0 && m_timeoutMs > 0)
            failWith(m_summary, { tooSlow(m_timeoutMs), narrowDown }, m_context);
        const char *primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        if (const QString several = severalStatementsText(state, primary); !several.isEmpty())
            failWith(m_summary, { several }, m_context);
        failWith(m_summary, { engineText(primary ? primary : PQerrorMessage(m_conn)) }, m_context);
    }

    ~PostgresReader()
    {
        // Stopped in the middle of the rows (a limit, a bad row): the server is
        // asked to cancel the COPY, and what it still sends is taken in, so
        // the connection is ready for the next statement (the rollback).
        if (!m_copying)
            return;
        if (PGcancel *cancel = PQgetCancel(m_conn)) {
            char why[256];
            PQcancel(cancel, why, sizeof why);
            PQfreeCancel(cancel);
        }
        char *line = nullptr;
        while (PQgetCopyData(m_conn, &line, 0) > 0)
            PQfreemem(line);
        while (PGresult *r = PQgetResult(m_conn))
            PQclear(r);
    }
    PostgresReader(const PostgresReader &) = delete;
    PostgresReader &operator=(const PostgresReader &) = delete;

    Result command(const char *sql, ExecStatusType expected) const
    {
        Result r(PQexec(m_conn, sql));
        if (PQresultStatus(r.get()) != expected)
            fail(r.get());
        return r;
    }

    // '?' marks become the values as quoted literals (the host's own
    // statements only; a caller's text comes without values).
    QByteArray statementText(const QString &sql, const QStringList &params) const
    {
        QByteArray text;
        {
            const QByteArray utf8 = sql.toUtf8();
            qsizetype next = 0;
            for (const char c : utf8) {
                if (c == '?' && next < params.size()) {
                    const QByteArray v = params.at(next++).toUtf8();
                    char *quoted = PQescapeLiteral(m_conn, v.constData(), size_t(v.size()));
                    if (!quoted)
                        fail(nullptr);
                    text += quoted;
                    PQfreemem(quoted);
                } else {
                    text += c;
                }
            }
            // A final semicolon ends the statement, which COPY's brackets
            // must enclose; blanks and semicolons at the end mean nothing.
            while (!text.isEmpty() && (std::isspace(uchar(text.back())) || text.back() == ';'))
                text.chop(1);
        }
        return text;
    }

    // A host statement of a few rows, run and answered in one round trip: the
    // extended protocol still takes one statement only, and the one result
    // carries the columns' description with the rows.
    QByteArray runWhole(const QString &sql, const QStringList &params, qsizetype *rowsOut) const
    {
        const QByteArray text = statementText(sql, params);
        const Result res(PQexecParams(m_conn, text.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0));
        if (PQresultStatus(res.get()) != PGRES_TUPLES_OK)
            fail(res.get());
        const PGresult *r = res.get();
        const int cols = PQnfields(r);
        std::vector<PacketBuilder::Column> columns;
        std::vector<PgColumn> kinds;
        for (int c = 0; c < cols; ++c) {
            const PgColumn k = pgColumn(PQftype(r, c));
            kinds.push_back(k);
            columns.push_back(
                { QString::fromUtf8(PQfname(r, c)), k.type, k.type == FieldType::String ? pgTextSize(r, c) : 0 });
        }
        PacketBuilder out(std::move(columns));
        for (int i = 0, n = PQntuples(r); i < n; ++i) {
            out.beginRow();
            for (int c = 0; c < cols; ++c) {
                if (PQgetisnull(r, i, c))
                    out.null();
                else
                    cell(out, c, kinds[size_t(c)].kind, PQgetvalue(r, i, c), PQgetlength(r, i, c));
            }
        }
        if (rowsOut)
            *rowsOut = out.rowCount();
        return out.finish();
    }

    QByteArray run(const QString &sql, const QStringList &params, const QueryPacket::Limits &limits, qsizetype *rowsOut,
        const QueryPacket::Setup &setup)
    {
        QElapsedTimer clock;
        clock.start();
        m_timeoutMs = limits.timeoutMs;
        QByteArray timeout; // the server stops a statement that runs too long
        if (limits.timeoutMs > 0)
            timeout = QByteArray("set local statement_timeout = ").append(QByteArray::number(limits.timeoutMs));

        const QByteArray text = statementText(sql, params);

        // The statement is first described on its own, through the extended
        // protocol: that takes exactly one statement, so nothing rides along;
        // and a text that is one whole statement on its own is also exactly
        // what COPY's brackets hold. The description gives the column types.
        const Result described = prepareAndDescribe(setup, timeout, text);
        const PGresult *desc = described.get();
        const int cols = PQnfields(desc);
        std::vector<PacketBuilder::Column> columns;
        std::vector<PgColumn> kinds;
        for (int c = 0; c < cols; ++c) {
            const PgColumn k = pgColumn(PQftype(desc, c));
            kinds.push_back(k);
            columns.push_back(
                { QString::fromUtf8(PQfname(desc, c)), k.type, k.type == FieldType::String ? pgTextSize(desc, c) : 0 });
        }
        PacketBuilder out(std::move(columns));

        // The rows come as COPY's text, one message per row: the server runs
        // the statement as it runs a plain one and sends each row as it is
        // made; the host holds one row at a time. (A cursor's FETCH is copied
        // into a store on the server first, which cost it about a third more.)
        const QByteArray copy = "copy (" + text + "\n) to stdout";
        if (!PQsendQueryParams(m_conn, copy.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0))
            fail(nullptr);
        {
            const Result started(PQgetResult(m_conn));
            if (PQresultStatus(started.get()) != PGRES_COPY_OUT) {
                while (PGresult *r = PQgetResult(m_conn))
                    PQclear(r);
                fail(started.get());
            }
        }
        m_copying = true;
        std::vector<char> field;
        char *line = nullptr;
        int length = 0;
        while ((length = PQgetCopyData(m_conn, &line, 0)) > 0) {
            const std::unique_ptr<char, decltype(&PQfreemem)> owned(line, &PQfreemem);
            const char *p = line;
            const char *end = line + length;
            if (end > p && end[-1] == '\n')
                --end;
            out.beginRow();
            for (int c = 0; c < cols; ++c) {
                const char *tab = c + 1 < cols ? static_cast<const char *>(std::memchr(p, '\t', size_t(end - p))) : end;
                if (!tab || (c + 1 == cols && std::memchr(p, '\t', size_t(end - p))))
                    failWith(m_summary, { QStringLiteral("服务器送来的一行数据的字段数不对。") }, m_context);
                const qsizetype n = tab - p;
                if (n == 2 && p[0] == '\\' && p[1] == 'N') {
                    out.null();
                } else if (std::memchr(p, '\\', size_t(n))) {
                    field.resize(size_t(n));
                    const qsizetype m = unescapeCopyText(p, tab, field.data());
                    cell(out, c, kinds[size_t(c)].kind, field.data(), int(m));
                } else {
                    cell(out, c, kinds[size_t(c)].kind, p, int(n));
                }
                p = tab + 1;
            }
            if ((out.rowCount() & 4095) == 0) {
                if (limits.maxBytes > 0 && out.byteCount() > limits.maxBytes)
                    failWith(m_summary, { tooLarge(limits.maxBytes), narrowDown }, m_context);
                if (limits.timeoutMs > 0 && clock.elapsed() > limits.timeoutMs)
                    failWith(m_summary, { tooSlow(limits.timeoutMs), narrowDown }, m_context);
            }
        }
        m_copying = false;
        Result last;
        while (PGresult *r = PQgetResult(m_conn)) {
            if (!last)
                last.reset(r);
            else
                PQclear(r);
        }
        if (length == -2 || PQresultStatus(last.get()) != PGRES_COMMAND_OK)
            fail(last.get());
        if (limits.maxBytes > 0 && out.byteCount() > limits.maxBytes)
            failWith(m_summary, { tooLarge(limits.maxBytes), narrowDown }, m_context);
        if (rowsOut)
            *rowsOut = out.rowCount();
        return out.finish();
    }

private:
    // The setup steps, the timeout (when given), the statement's preparation
    // and its description in one round trip to the server (libpq's pipeline),
    // where one after another they took one each; the first that fails is
    // reported, and what follows it in the pipeline does not run.
    Result prepareAndDescribe(const QueryPacket::Setup &setup, const QByteArray &timeout, const QByteArray &text) const
    {
        const auto failStep = [this](const QuerySetupStep &step, const PGresult *r) {
            const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
            throw SqlFailure(QStringList { step.failure, engineText(primary ? primary : PQerrorMessage(m_conn)) });
        };
        if (!PQenterPipelineMode(m_conn)) {
            for (const QuerySetupStep &step : setup) {
                const Result r(PQexec(m_conn, step.statement.constData()));
                if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
                    failStep(step, r.get());
            }
            if (!timeout.isEmpty())
                command(timeout.constData(), PGRES_COMMAND_OK);
            const Result prepared(PQprepare(m_conn, "", text.constData(), 0, nullptr));
            if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
                fail(prepared.get());
            Result described(PQdescribePrepared(m_conn, ""));
            if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
                fail(described.get());
            return described;
        }
        const auto sendCommand = [this](const QByteArray &sql) {
            return PQsendQueryParams(m_conn, sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        };
        bool sent = true;
        for (const QuerySetupStep &step : setup)
            sent = sent && sendCommand(step.statement);
        sent = sent && (timeout.isEmpty() || sendCommand(timeout))
            && PQsendPrepare(m_conn, "", text.constData(), 0, nullptr) && PQsendDescribePrepared(m_conn, "");
        const bool synced = PQpipelineSync(m_conn) == 1;
        // Every result up to the pipeline's end is taken in, so the connection
        // leaves pipeline mode ready for the next statement whatever failed.
        std::vector<Result> results;
        if (synced) {
            for (;;) {
                PGresult *r = PQgetResult(m_conn);
                if (!r) {
                    if (PQstatus(m_conn) != CONNECTION_OK)
                        break;
                    continue; // the end of one statement's results
                }
                if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                    PQclear(r);
                    break;
                }
                results.emplace_back(r);
            }
        }
        PQexitPipelineMode(m_conn);
        if (!sent || !synced)
            fail(nullptr);
        const size_t expected = setup.size() + (timeout.isEmpty() ? 2 : 3);
        for (size_t i = 0; i < results.size(); ++i) {
            if (PQresultStatus(results[i].get()) == PGRES_COMMAND_OK)
                continue;
            if (i < setup.size())
                failStep(setup[i], results[i].get());
            fail(results[i].get());
        }
        if (results.size() != expected)
            fail(nullptr);
        return std::move(results.back());
    }

    static void cell(PacketBuilder &out, int c, PgKind kind, const char *p, int n)
    {
        switch (kind) {
        case PgKind::Integer: {
            qint64 v = 0;
            if (const auto r = std::from_chars(p, p + n, v); r.ec == std::errc() && r.ptr == p + n)
                return out.integer(c, v);
            break;
        }
        case PgKind::Real: {
            double v = 0;
            if (const auto r = std::from_chars(p, p + n, v); r.ec == std::errc() && r.ptr == p + n)
                return out.real(c, v);
            break;
        }
        case PgKind::Bool:
            return out.boolean(c, n > 0 && p[0] == 't');
        case PgKind::Date:
            if (isoDate(p, n).isValid())
                return out.date(c, QByteArrayView(p, n));
            break;
        case PgKind::Timestamp:
            if (const QDateTime t = isoTimestamp(p, n); t.isValid())
                return out.dateTime(c, t);
            break;
        case PgKind::Bytea: {
            // Qt's driver sets the session's bytea_output to escape; the
            // library call reads either form.
            // The library call reads up to a terminating zero, which a field
            // of a COPY row does not have.
            const QByteArray escaped(p, n);
            size_t size = 0;
            if (unsigned char *bytes
                = PQunescapeBytea(reinterpret_cast<const unsigned char *>(escaped.constData()), &size)) {
                out.bytes(c, bytes, qsizetype(size));
                PQfreemem(bytes);
                return;
            }
            break;
        }
        case PgKind::Text:
            break;
        }
        out.text(c, p, n); // the server's text; a typed column becomes text when it must
    }

    PGconn *m_conn;
    QString m_summary;
    QStringList m_context;
    int m_timeoutMs = 0;
    bool m_copying = false; // rows of a COPY still on their way
};

} // namespace

QByteArray QueryPacket::runSmall(const QSqlDatabase &db, DatabaseUrl::Backend backend, const QString &sql,
    const QStringList &params, const QString &summary, qsizetype *rows)
{
    if (backend == DatabaseUrl::Backend::SQLite)
        return run(db, backend, sql, params, summary, {}, {}, rows);
    PGconn *conn = nativeHandle<PGconn>(db, { "PGconn*", "pg_conn*" });
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        failWith(summary, { QStringLiteral("无法取得 PostgreSQL 连接，语句没有执行。") }, {});
    return PostgresReader(conn, summary, {}).runWhole(sql, params, rows);
}

QByteArray QueryPacket::run(const QSqlDatabase &db, DatabaseUrl::Backend backend, const QString &sql,
    const QStringList &params, const QString &summary, const QStringList &context, const Limits &limits,
    qsizetype *rows, const Setup &setup)
{
    if (backend == DatabaseUrl::Backend::SQLite) {
        sqlite3 *handle = nativeHandle<sqlite3>(db, { "sqlite3*" });
        if (!handle)
            failWith(summary, { QStringLiteral("无法取得 SQLite 连接，语句没有执行。") }, context);
        return readSqlite(handle, sql, params, summary, context, limits, rows);
    }
    PGconn *conn = nativeHandle<PGconn>(db, { "PGconn*", "pg_conn*" });
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        failWith(summary, { QStringLiteral("无法取得 PostgreSQL 连接，语句没有执行。") }, context);
    return PostgresReader(conn, summary, context).run(sql, params, limits, rows, setup);
}

} // namespace kalmora
