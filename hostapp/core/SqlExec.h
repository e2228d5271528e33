// Runs one of the host's own statements with bound values; a failure throws
// SqlFailure with `summary` as its first line. A '?' in `sql` stands for the next
// value; the host's statements have no '?' of any other kind.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace kalmora {

QSqlQuery runSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values, const QString &summary);

} // namespace kalmora
