// The types and definitions of a dataset's columns.
#pragma once

#include <QList>
#include <QString>

namespace sqda {

enum class FieldType : quint8 { String, Int32, Int64, Double, Bool, Date, DateTime };

// The name a field type has in a data packet ("string", "int32", ...), and back.
QString fieldTypeName(FieldType t);
bool fieldTypeFromName(const QString &name, FieldType *out);

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // characters for strings, 0 for the other types
    QString displayLabel; // empty: the name is shown
    bool visible = true; // a dataset-side setting; packets do not carry it

    bool operator==(const FieldDef &) const = default;
};

using FieldDefs = QList<FieldDef>;

} // namespace sqda
