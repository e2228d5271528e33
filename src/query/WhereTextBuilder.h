// The condition list of the condition builder and the where text made from it.
//
// Pure logic over field descriptions: no widgets, no dataset needed, so every rule
// is tested with tables. The dialog (TFrmQuerySet) and the listing grid hold the
// rows; this turns them into SQL text (query mode) or a dataset filter (filter
// mode). A typed value only ever reaches the text as a literal: quotes are
// doubled, and a field that is not text takes a number or one quoted literal.
#pragma once

#include "core/Result.h"
#include "data/FieldDef.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace sqda {

class ClientDataSet;

// One row of the condition list: an expression (label, condition, value) or a
// relation ("并且" / "或者"). A row is a relation row exactly when its relation
// is not empty; rows alternate expression, relation, expression, …
struct LogicRow
{
    QString label; // the field's display label
    QString condition; // one of conditionNames()
    QString value; // as typed
    QString relation;

    bool isRelation() const { return !relation.isEmpty(); }
    bool operator==(const LogicRow &) const = default;
};
using LogicRows = QList<LogicRow>;

inline QString relationAnd()
{
    return QStringLiteral("并且");
}
inline QString relationOr()
{
    return QStringLiteral("或者");
}

// The nine conditions in list order; the position is the condition's number.
enum ConditionNo {
    CondEqual = 0,
    CondGreater,
    CondGreaterEqual,
    CondLess,
    CondLessEqual,
    CondNotEqual,
    CondContains,
    CondNotContains,
    CondStartsWith,
};
const QStringList &conditionNames();
int conditionNumber(const QString &name); // -1 for a name that is none of the nine

// What the builder needs to know of a dataset field.
struct BuilderField
{
    QString name;
    QString label; // display label
    bool text = true; // of the dataset's string kind
    int tag = 0; // picks the alias
    bool visible = true;
    // The field's real type, which a value for a field that is not text must
    // suit. String with `text` false: a type not known, any number or literal.
    FieldType type = FieldType::String;
};
QList<BuilderField> builderFieldsOf(const ClientDataSet &dataSet);

struct WhereTexts
{
    // The where text. In filter mode a "部分不等于" expression stands here as the
    // placeholder `name<>'temp@temp@temp'`, with its positive test in
    // excludeLike and its field in excludeField (the last such expression's).
    QString whereText;
    QString excludeLike;
    QString excludeField;
    // Filter mode: the filter expression that means exactly what the rows say,
    // with every "部分不等于" as `name NOT LIKE '%v%'`. It is right for any number
    // of such expressions, under either relation, and for rows loaded later; the
    // grid applies this one. Query mode: equal to whereText.
    QString filterText;
};

class WhereTextBuilder
{
public:
    QList<BuilderField> fields;
    QString aliasList; // comma-separated table aliases, picked by the field's tag
    QStringList fieldMap; // entries "field=expression" replacing a field's name
    bool filterMode = false;

    // The position of the first field whose label equals `label`; 0 when none does.
    int fieldIndexOfLabel(const QString &label) const;
    // The field's name as the where text writes it: alias prefix and field map applied.
    QString qualifiedName(int fieldIndex) const;

    // Builds the texts of `rows`. Fails, naming the row, for rows out of order, a
    // condition that is none of the nine, a value a field cannot take, or rows
    // with no field to build on.
    Result<WhereTexts> build(const LogicRows &rows) const;

    // Whether `value` may be entered for `field` under `condition` (what the
    // dialog checks where a value is entered). An empty value is accepted here.
    static Status checkValue(const BuilderField &field, int condition, const QString &value);

    // A value the builder puts into a list group: empty, or holding ";" or "|".
    static bool isListValue(const QString &value);
};

} // namespace sqda
