// A dataset filter expression, parsed once into a tree.
//
//   expr      := term { OR term }
//   term      := factor { AND factor }
//   factor    := NOT factor | '(' expr ')' | predicate
//   predicate := operand ( cmp operand | [NOT] LIKE operand [ESCAPE 'c']
//                        | [NOT] BETWEEN operand AND operand
//                        | [NOT] IN '(' operand { ',' operand } ')' | IS [NOT] NULL )
//   operand   := field | 'text' | number | NULL
//   cmp       := = | <> | != | < | <= | > | >=
//
// Keywords and field names are matched without regard to case (ESCAPE is a
// keyword only after a LIKE pattern, so a field may still be named so). A field
// is a name (letters, digits, '_', '.'; "alias.field" names the field) or
// [any text]. Text literals use '' for a quote. Positions are 1-based character
// positions.
#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace sqda {

struct FilterOperand
{
    enum class Kind : quint8 { Field, Text, Number, Null };
    Kind kind = Kind::Null;
    QString text; // field name, text value, or a number as written
    double number = 0;
    int position = 0;
};

enum class CompareOp : quint8 { Eq, Ne, Lt, Le, Gt, Ge };

struct FilterNode
{
    enum class Kind : quint8 { And, Or, Not, Compare, Like, Between, In, IsNull };
    Kind kind = Kind::And;
    CompareOp op = CompareOp::Eq; // Compare
    bool negated = false; // NOT LIKE, NOT BETWEEN, NOT IN, IS NOT NULL
    int position = 0;
    std::vector<std::unique_ptr<FilterNode>> children; // And, Or, Not
    FilterOperand left; // the tested operand
    std::vector<FilterOperand> values; // right side: 1, 2 (BETWEEN) or a list (IN)
    QChar likeEscape; // LIKE … ESCAPE 'c'; null: none
};

class FilterExpression
{
public:
    // Parses `text`. An empty or blank text is the empty expression, which every row passes.
    static Result<FilterExpression> parse(QStringView text);

    bool isEmpty() const { return !m_root; }
    const FilterNode *root() const { return m_root.get(); }
    const QString &text() const { return m_text; }

private:
    QString m_text;
    std::shared_ptr<const FilterNode> m_root; // shared: copies of a parsed expression are cheap
};

} // namespace sqda
