// The statement the query screen sends to the host for a search of tbsqda.
#pragma once

#include <QString>

namespace sqda::QuerySql {

// "select * from tbsqda sqda where 1=1 ", restricted to the department when one
// is given (its code as a string literal, quotes inside doubled).
QString searchHead(const QString &department);

// Head and tail: the where text of the condition builder, when it holds
// anything, in parentheses, then the order by code. With neither department nor
// condition two spaces stand between "1=1" and "order".
QString searchStatement(const QString &department, const QString &whereText);

// The statement as the host's database takes it: translated for "DB2" (outside
// its literals, which are data), sent as built for every other kind, except
// that for "DB2" and "ORACLE" a LIKE pattern with an escape clause drops the
// escape before "[" (no syntax there, and an escape they would refuse).
QString forDatabase(const QString &statement, const QString &databaseKind);

} // namespace sqda::QuerySql
