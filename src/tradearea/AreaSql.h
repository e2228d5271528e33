// The statements the maintenance screen sends to the host about tbsqda. Every
// text value goes in as a SQL string literal, so a quote in a name or a code
// cannot end the literal early.
#pragma once

#include <QString>
#include <QStringView>

namespace sqda::AreaSql {

// 'text' with each single quote inside doubled.
QString literal(QStringView text);

// All areas of the department, in code order (the tree relies on it).
QString treeLoad(const QString &department);
// The one area of the department with the given code.
QString recordLoad(const QString &department, const QString &code);
// Gives one area of the department a new name.
QString rename(const QString &name, const QString &code, const QString &department);

} // namespace sqda::AreaSql
