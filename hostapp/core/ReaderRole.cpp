#include "ReaderRole.h"

#include "SqlExec.h"
#include "SqlFailure.h"

#include <QSqlDriver>
#include <QSqlQuery>

#include <libpq-fe.h>

namespace kalmora::ReaderRole {

namespace {

// What the server says of the role, item by item, so setUp() does only the
// steps that are missing (each needs its own privilege).
struct Facts
{
    bool exists = false;
    bool powerful = false; // superuser, creates roles or databases, replicates, bypasses row security
    bool inherits = false; // a member of any other role (pg_signal_backend, pg_read_server_files, ...)
    bool readsTables = false;
    bool usesSchema = false;
    bool setsConfig = true; // may call set_config, and so switch back to the host's role
    bool hostMayEnter = false; // the host's login may SET ROLE to it
};

const QString tableList = QStringLiteral("tbsqda, tbsqfj, tbxtcs, tbzyda");

Facts facts(const QSqlDatabase &db)
{
    QSqlQuery q = runSql(db,
        QStringLiteral(
            "select r.oid is not null, "
            "coalesce(r.rolsuper or r.rolcreaterole or r.rolcreatedb or r.rolreplication or r.rolbypassrls, false), "
            "exists (select 1 from pg_auth_members m where m.member = r.oid), "
            "coalesce(has_table_privilege(r.oid, 'tbsqda', 'select') and has_table_privilege(r.oid, 'tbsqfj', "
            "'select') and has_table_privilege(r.oid, 'tbxtcs', 'select') "
            "and has_table_privilege(r.oid, 'tbzyda', 'select'), false), "
            "coalesce(has_schema_privilege(r.oid, (select relnamespace from pg_class where oid = 'tbsqda'::regclass), "
            "'usage'), false), "
            "coalesce(has_function_privilege(r.oid, 'pg_catalog.set_config(text, text, boolean)', 'execute'), true), "
            "coalesce(pg_has_role(current_user, r.oid, 'member'), false) "
            "from (values (1)) v left join pg_roles r on r.rolname = '%1'")
            .arg(QLatin1String(Name)),
        {}, QStringLiteral("无法检查只读查询角色 %1。").arg(QLatin1String(Name)));
    Facts f;
    if (q.next()) {
        f.exists = q.value(0).toBool();
        f.powerful = q.value(1).toBool();
        f.inherits = q.value(2).toBool();
        f.readsTables = q.value(3).toBool();
        f.usesSchema = q.value(4).toBool();
        f.setsConfig = q.value(5).toBool();
        f.hostMayEnter = q.value(6).toBool();
    }
    return f;
}

} // namespace

State check(const QSqlDatabase &db, QString *why)
{
    const Facts f = facts(db);
    auto say = [why](const QString &text, State s) {
        if (why)
            *why = text;
        return s;
    };
    const QString name = QLatin1String(Name);
    if (!f.exists)
        return say(QStringLiteral("角色 %1 还不存在。").arg(name), State::Incomplete);
    if (f.powerful || f.inherits)
        return say(QStringLiteral("数据库角色 %1 的权限超出了只读查询的需要（超级用户、建立角色或数据库、复制、"
                                  "绕过行安全，或属于其他角色），主机不用它执行查询。请数据库管理员收回这些权限。")
                       .arg(name),
            State::TooPowerful);
    if (!f.readsTables || !f.usesSchema)
        return say(QStringLiteral("角色 %1 还不能读取商圈档案的数据表。").arg(name), State::Incomplete);
    if (f.setsConfig)
        return say(QStringLiteral("角色 %1 还能调用 set_config。").arg(name), State::Incomplete);
    if (!f.hostMayEnter)
        return say(QStringLiteral("主机的登录角色还不能切换到 %1。").arg(name), State::Incomplete);
    return State::Ready;
}

void setUp(const QSqlDatabase &db)
{
    const QString name = QLatin1String(Name);
    const QString failed = QStringLiteral("无法为只读查询设置数据库角色 %1。").arg(name);
    try {
        Facts f = facts(db);
        if (!f.exists) {
            // Roles belong to the whole server: a host of another product
            // database may create it at the same moment. Whoever loses that
            // race finds the role there, which is all it wanted.
            runSql(db,
                QStringLiteral("do $$ begin "
                               "if not exists (select 1 from pg_roles where rolname = '%1') then "
                               "create role %1 nologin; end if; "
                               "exception when duplicate_object or unique_violation then null; end $$")
                    .arg(name),
                {}, failed);
        }
        if (!f.usesSchema)
            runSql(db,
                QStringLiteral("do $$ begin execute format('grant usage on schema %I to %1', "
                               "(select n.nspname from pg_class c join pg_namespace n on n.oid = c.relnamespace "
                               "where c.oid = 'tbsqda'::regclass)); end $$")
                    .arg(name),
                {}, failed);
        if (!f.readsTables)
            runSql(db, QStringLiteral("grant select on table %1 to %2").arg(tableList, name), {}, failed);
        if (f.setsConfig) // owned by the bootstrap superuser: only a superuser may take it away
            runSql(db,
                QStringLiteral("revoke execute on function pg_catalog.set_config(text, text, boolean) from public"), {},
                failed);
        if (!f.hostMayEnter)
            runSql(db, QStringLiteral("grant %1 to current_user").arg(name), {}, failed);
    } catch (const SqlFailure &f) {
        QStringList lines = f.lines();
        if (lines.value(0) != failed)
            lines.prepend(failed);
        lines << QStringLiteral("请数据库管理员以超级用户身份启动一次 kalmora-host，或执行 docs/reference-host.md "
                                "中“只读查询角色”一节的语句。");
        throw SqlFailure(lines);
    }
}

QByteArray enterStatement()
{
    return QByteArray("set local role ") + Name;
}

QString enterFailure()
{
    return QStringLiteral("无法切换到只读查询角色 %1，查询没有执行。").arg(QLatin1String(Name));
}

void endQuery(const QSqlDatabase &db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    PGconn *conn = nullptr;
    if (v.isValid() && (qstrcmp(v.typeName(), "pg_conn*") == 0 || qstrcmp(v.typeName(), "PGconn*") == 0))
        conn = *static_cast<PGconn *const *>(v.constData());
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        return;
    // The rollback comes first: it takes the reader role away, and a failed
    // transaction would refuse the release. Outside a transaction there is
    // nothing to roll back, and the server would warn of that.
    const PGTransactionStatusType state = PQtransactionStatus(conn);
    const bool inTransaction = state == PQTRANS_INTRANS || state == PQTRANS_INERROR;
    PQclear(
        PQexec(conn, inTransaction ? "rollback; select pg_advisory_unlock_all()" : "select pg_advisory_unlock_all()"));
}

} // namespace kalmora::ReaderRole
