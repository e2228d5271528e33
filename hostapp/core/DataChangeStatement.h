// What ExecuteSql accepts: one plain change of the product's data, the kind the
// trade-area screens send (a rename is "update tbsqda set f_sqmc='…' where …").
//
//   UPDATE <table> SET <column> = <value> [, …] WHERE <condition>
//   DELETE FROM <table> WHERE <condition>
//   INSERT INTO <table> [(<column>, …)] VALUES (<value>, …) [, (…)]
//
// <table> is one of the host's tables; values and conditions are built from
// that table's columns, '…' texts (quotes doubled), numbers, NULL, comparison
// and arithmetic operators, AND, OR, NOT, IN, LIKE, IS, BETWEEN and brackets.
// Nothing else passes: no function, no sub-query, no comment, no second
// statement, no quoted name, no other table, no PRAGMA, SET, DO or COPY. The
// check is a whitelist over tokens, so a text that either engine would read
// differently (comments, dollar quotes, escape strings) never gets through.
#pragma once

#include <QString>

#include <optional>

namespace kalmora {

struct DataChangeStatement
{
    QString verb; // "UPDATE", "INSERT" or "DELETE"
    QString table; // lower case

    // The statement, or why it is not one the host runs for a caller.
    static std::optional<DataChangeStatement> parse(const QString &sql, QString *why);
};

} // namespace kalmora
