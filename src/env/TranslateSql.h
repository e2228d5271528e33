// Rewrites SQL Server statement text for DB2 hosts.
#pragma once

#include <QString>

namespace sqda {

QString TranslateSql(const QString &sql, const QString &kind, const QString &schema);

} // namespace sqda
