#include "SqlExec.h"

#include "SqlFailure.h"

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
    if (!q.prepare(sql))
        throw SqlFailure(summary, q.lastError());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        throw SqlFailure(summary, q.lastError());
    return q;
}

} // namespace kalmora
