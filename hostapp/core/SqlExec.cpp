#include "SqlExec.h"

#include "SqlFailure.h"

#include <QSqlDriver>
#include <QSqlField>

#include <libpq-fe.h>

#include <cstring>
#include <memory>

namespace kalmora {

QSqlQuery runSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values, const QString &summary)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Statements without values run as they are: PostgreSQL cannot prepare DDL.
    if (values.isEmpty()) {
        if (!q.exec(sql))
            throw SqlFailure(summary, q.lastError());
        return q;
    }
    if (db.driverName() == QLatin1String("QPSQL")) {
        // Qt prepares PostgreSQL statements with PREPARE/EXECUTE/DEALLOCATE, three
        // round trips, and the DEALLOCATE fails noisily inside a failed
        // transaction. The driver's own literal formatting is safe here: the
        // session runs with standard_conforming_strings on.
        QString text;
        qsizetype next = 0;
        for (const QChar c : sql) {
            if (c == u'?' && next < values.size()) {
                QSqlField field(QString(), values.at(next).metaType());
                field.setValue(values.at(next++));
                text += db.driver()->formatValue(field);
            } else {
                text += c;
            }
        }
        if (!q.exec(text))
            throw SqlFailure(summary, q.lastError());
        return q;
    }
    if (!q.prepare(sql))
        throw SqlFailure(summary, q.lastError());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw SqlFailure(summary, q.lastError());
    return q;
}

QString severalStatementsText(const char *state, const char *message)
{
    // 42601 is any syntax error; the English text tells this one apart (the
    // host's sessions run with the server's default messages).
    if (state && message && qstrcmp(state, "42601") == 0 && std::strstr(message, "multiple commands"))
        return QStringLiteral("一次只能执行一条语句，这段文字里有几条语句，都没有执行。");
    return {};
}

qint64 runPostgresStatement(
    const QSqlDatabase &db, const QString &sql, const QString &summary, const QStringList &context)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    PGconn *conn = nullptr;
    if (v.isValid() && (qstrcmp(v.typeName(), "pg_conn*") == 0 || qstrcmp(v.typeName(), "PGconn*") == 0))
        conn = *static_cast<PGconn *const *>(v.constData());
    if (!conn || PQstatus(conn) != CONNECTION_OK)
        throw SqlFailure(QStringList { summary, QStringLiteral("无法取得 PostgreSQL 连接，语句没有执行。") } + context);
    const QByteArray text = sql.toUtf8();
    // PQexecParams always uses the extended protocol, even without parameters.
    const std::unique_ptr<PGresult, decltype(&PQclear)> res(
        PQexecParams(conn, text.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0), &PQclear);
    const ExecStatusType status = PQresultStatus(res.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        const char *count = PQcmdTuples(res.get());
        return count && *count ? QByteArray(count).toLongLong() : 0;
    }
    const char *state = res ? PQresultErrorField(res.get(), PG_DIAG_SQLSTATE) : nullptr;
    const char *primary = res ? PQresultErrorField(res.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString why = severalStatementsText(state, primary);
    if (why.isEmpty())
        why = QStringLiteral("数据库的消息：%1")
                  .arg(QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed());
    throw SqlFailure(QStringList { summary, why } + context);
}

} // namespace kalmora
