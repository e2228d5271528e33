// Column-wise storage of a dataset's rows.
//
// Each column keeps its values in one flat vector and one null flag per row;
// strings of all columns live in one shared UTF-16 arena and a cell holds only an
// offset and a length. Loading, sorting and filtering a million rows therefore
// touch a few large arrays and no per-cell heap object.
#pragma once

#include "FieldDef.h"

#include <QDate>
#include <QDateTime>
#include <QStringView>
#include <QVariant>

#include <vector>

namespace sqda {

class DataStore
{
public:
    explicit DataStore(FieldDefs defs = {});

    const FieldDefs &defs() const { return m_defs; }
    int columnCount() const { return int(m_columns.size()); }
    qsizetype rowCount() const { return m_rowCount; }

    void reserve(qsizetype rows);
    void clear(); // drops the rows, keeps the columns

    // Appending: fill every column of the new row in any order, then commitRow().
    void appendNull(int col);
    void appendString(int col, QStringView s);
    void appendInt(int col, qint64 v);
    void appendDouble(int col, double v);
    void appendBool(int col, bool v) { appendInt(col, v ? 1 : 0); }
    void appendDate(int col, QDate d);
    void appendDateTime(int col, const QDateTime &dt);
    // Converts to the column's type; throws DataError when it cannot.
    void appendValue(int col, const QVariant &v);
    void commitRow() { ++m_rowCount; }

    // Builds a UTF-16 string in the arena without a temporary QString: reserve
    // room for at most `maxChars`, write, then finish with the count written.
    char16_t *beginString(qsizetype maxChars);
    void finishString(int col, qsizetype written);

    bool isNull(qsizetype row, int col) const { return m_columns[size_t(col)].nulls[size_t(row)] != 0; }
    QStringView string(qsizetype row, int col) const;
    qint64 integer(qsizetype row, int col) const { return m_columns[size_t(col)].ints[size_t(row)]; }
    double real(qsizetype row, int col) const { return m_columns[size_t(col)].reals[size_t(row)]; }
    QDate date(qsizetype row, int col) const;
    QDateTime dateTime(qsizetype row, int col) const;
    // The cell as a QVariant of the column's type; an invalid QVariant for null.
    QVariant value(qsizetype row, int col) const;

private:
    struct StrRef
    {
        quint32 offset;
        quint32 length;
    };
    struct Column
    {
        FieldType type;
        std::vector<quint8> nulls;
        std::vector<qint64> ints; // Int32, Int64, Bool, Date (Julian day), DateTime (ms since epoch, UTC)
        std::vector<double> reals;
        std::vector<StrRef> strings;
    };

    void pushDefault(Column &c);

    FieldDefs m_defs;
    std::vector<Column> m_columns;
    std::vector<char16_t> m_arena;
    size_t m_pendingStart = 0; // arena offset of the string between beginString() and finishString()
    qsizetype m_rowCount = 0;
};

} // namespace sqda
