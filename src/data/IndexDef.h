// Named sort orders of a dataset: fields "a;b" (first most significant), the
// fields among them that sort descending, and options for the whole index.
#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

namespace sqda {

enum class IndexOption : quint8 {
    CaseInsensitive = 0x1, // text compared with its case folded
    Descending = 0x2, // every field descending
};
Q_DECLARE_FLAGS(IndexOptions, IndexOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(IndexOptions)

struct IndexDef
{
    QString name;
    QString fields; // "f_sqmc;f_sqbm"
    IndexOptions options;
    QString descFields; // the fields of `fields` that sort descending

    // "a; b" → {"a", "b"}: split on ';', trimmed, empty parts dropped.
    static QStringList splitFields(const QString &list);
    bool isDescending(const QString &field) const;
};

// The index definitions of one dataset. Names are matched without regard to case.
class IndexDefs
{
public:
    // Definitions live in memory and are always current; kept for callers that
    // refresh before they look a name up.
    void update() { }
    int count() const { return int(m_defs.size()); }
    const IndexDef &at(int i) const { return m_defs[i]; }
    const IndexDef *find(const QString &name) const;
    // Adds a definition; one with the same name is replaced.
    void add(const IndexDef &def);
    bool remove(const QString &name);
    void clear() { m_defs.clear(); }

private:
    QList<IndexDef> m_defs;
};

} // namespace sqda
