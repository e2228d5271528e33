#include "SqlExec.h"

#include "SqlFailure.h"

#include <QSqlDriver>
#include <QSqlField>

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

} // namespace kalmora
