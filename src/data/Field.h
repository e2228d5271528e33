// One column of a ClientDataSet, seen at the dataset's current record.
#pragma once

#include "FieldDef.h"

#include <QDate>
#include <QDateTime>
#include <QVariant>

namespace sqda {

class ClientDataSet;

class Field
{
public:
    Field(ClientDataSet *owner, int index, FieldDef def);

    int index() const { return m_index; }
    const QString &fieldName() const { return m_def.name; }
    FieldType dataType() const { return m_def.type; }
    bool isText() const { return m_def.type == FieldType::String; } // holds text (conditions quote its values)
    int size() const { return m_def.size; }
    const FieldDef &def() const { return m_def; }

    // The column title: the display label, or the name when no label is set.
    QString displayLabel() const { return m_def.displayLabel.isEmpty() ? m_def.name : m_def.displayLabel; }
    void setDisplayLabel(const QString &label) { m_def.displayLabel = label; }
    bool visible() const { return m_def.visible; }
    void setVisible(bool v) { m_def.visible = v; }
    int tag() const { return m_tag; }
    void setTag(int t) { m_tag = t; }

    // Values of the current record. Null reads as the empty text, 0, false or an
    // invalid date; a text that does not convert to a number raises DataError.
    bool isNull() const;
    QVariant value() const;
    QString asString() const;
    qint32 asInteger() const;
    qint64 asLargeInt() const;
    double asFloat() const;
    bool asBoolean() const;
    QDate asDate() const;
    QDateTime asDateTime() const;

    // Only while the dataset is appending a record.
    void setValue(const QVariant &v);
    void clear() { setValue(QVariant()); }

private:
    ClientDataSet *m_owner;
    int m_index;
    FieldDef m_def;
    int m_tag = 0;
};

} // namespace sqda
