#include "SqlTransaction.h"

#include "SqlFailure.h"

#include <QSqlQuery>

namespace kalmora {

SqlTransaction::SqlTransaction(const QSqlDatabase &db, DatabaseUrl::Backend backend, Mode mode)
    : m_db(db)
{
    const bool sqlite = backend == DatabaseUrl::Backend::SQLite;
    QString begin;
    if (mode == Mode::Write)
        begin = sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    else
        begin = sqlite ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN READ ONLY");
    QSqlQuery q(m_db);
    if (!q.exec(begin))
        throw SqlFailure(QStringLiteral("无法开始数据库事务。"), q.lastError());
    m_open = true;
}

SqlTransaction::~SqlTransaction()
{
    if (m_open) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
    }
}

void SqlTransaction::commit()
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("COMMIT")))
        throw SqlFailure(QStringLiteral("提交数据库事务时出错，所做的修改没有保存。"), q.lastError());
    m_open = false;
}

} // namespace kalmora
