// Column-wise storage of a dataset's rows.
//
// Each column keeps its values in one flat vector and one null flag per row;
// strings of all columns live in one shared UTF-16 arena and a cell holds only an
// offset and a length. Loading, sorting and filtering a million rows therefore
// touch a few large arrays and no per-cell heap object.
#pragma once

#include "BulkAllocator.h"
#include "FieldDef.h"
#include "PageWarmer.h"
#include "core/Result.h"

#include <QDate>
#include <QDateTime>
#include <QStringView>
#include <QVariant>

#include <memory>
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
    // Room for this many UTF-16 units of text in all, reserved but not touched.
    void reserveText(qsizetype units) { m_arena.reserve(size_t(units)); }
    void clear(); // drops the rows, keeps the columns
    // Hands what reserve() and reserveText() set aside to `warmer`: the column
    // buffers as filled evenly, the text arena as followed (report
    // textBytes() to it while filling).
    void addReservedTo(PageWarmer &warmer) const;
    std::size_t textBytes() const { return m_arena.size * sizeof(char16_t); }

    // Appending: fill every column of the new row in any order, then commitRow().
    void appendNull(int col);
    void appendString(int col, QStringView s);
    void appendInt(int col, qint64 v)
    {
        Column &c = m_columns[size_t(col)];
        c.nulls.push_back(0);
        c.ints.push_back(v);
    }
    void appendDouble(int col, double v)
    {
        Column &c = m_columns[size_t(col)];
        c.nulls.push_back(0);
        c.reals.push_back(v);
    }
    void appendBool(int col, bool v) { appendInt(col, v ? 1 : 0); }
    void appendDate(int col, QDate d);
    void appendDateTime(int col, const QDateTime &dt);
    // Converts to the column's type; throws DataError when it cannot.
    void appendValue(int col, const QVariant &v);
    // The conversion alone: a value of the type's storage form (QString, qint64,
    // double, bool, QDate, QDateTime), or an invalid QVariant for null.
    static QVariant coerce(FieldType type, const QVariant &v);
    // Appends a value coerce() produced for this column's type.
    void appendCoerced(int col, const QVariant &coerced);
    void commitRow() { ++m_rowCount; }

    // Builds a UTF-16 string in the arena without a temporary QString: reserve
    // room for at most `maxChars`, write, then finish with the count written.
    char16_t *beginString(qsizetype maxChars)
    {
        m_pendingStart = m_arena.size;
        if (m_arena.size + size_t(maxChars) <= m_arena.capacity)
            return m_arena.data.get() + m_arena.size;
        return growForString(maxChars);
    }
    void finishString(int col, qsizetype written)
    {
        Column &c = m_columns[size_t(col)];
        m_arena.size = m_pendingStart + size_t(written);
        c.nulls.push_back(0);
        c.strings.push_back({ quint32(m_pendingStart), quint32(written) });
    }

    bool isNull(qsizetype row, int col) const { return m_columns[size_t(col)].nulls[size_t(row)] != 0; }
    QStringView string(qsizetype row, int col) const;
    qint64 integer(qsizetype row, int col) const { return m_columns[size_t(col)].ints[size_t(row)]; }
    double real(qsizetype row, int col) const { return m_columns[size_t(col)].reals[size_t(row)]; }
    QDate date(qsizetype row, int col) const;
    QDateTime dateTime(qsizetype row, int col) const;
    // The cell as a QVariant of the column's type; an invalid QVariant for null.
    QVariant value(qsizetype row, int col) const;
    // The cell as a user reads it: text as stored, numbers in their shortest form,
    // True/False, dates as yyyy-MM-dd, date-times as yyyy-MM-dd HH:mm:ss; empty for null.
    QString displayText(qsizetype row, int col) const;

    // Bulk access for filters and sort keys: whole columns as plain arrays, valid
    // until the store changes. The store only appends, so a column's non-empty texts
    // lie in text() one after another in row order. Which array a column uses depends on its type
    // (strings: stringRefs into text(); Double: reals; every other type: ints).
    struct StrRef
    {
        quint32 offset;
        quint32 length;
    };
    const quint8 *nullFlags(int col) const { return m_columns[size_t(col)].nulls.data(); }
    const qint64 *ints(int col) const { return m_columns[size_t(col)].ints.data(); }
    const double *reals(int col) const { return m_columns[size_t(col)].reals.data(); }
    const StrRef *stringRefs(int col) const { return m_columns[size_t(col)].strings.data(); }
    const char16_t *text() const { return m_arena.data.get(); }

    // The rows of `source` under the columns `target` names (matched by name without
    // regard to case, in target's order); other columns of source are dropped. A
    // column of another type is converted value by value. Fails, naming the column,
    // when target names a column source lacks or a value does not convert.
    static Result<DataStore> project(DataStore &&source, const FieldDefs &target);

private:
    template<typename T> using Buffer = std::vector<T, BulkAllocator<T>>;
    struct Column
    {
        FieldType type;
        Buffer<quint8> nulls;
        Buffer<qint64> ints; // Int32, Int64, Bool, Date (Julian day), DateTime (ms since epoch, UTC)
        Buffer<double> reals;
        Buffer<StrRef> strings;
    };

    void pushDefault(Column &c);
    void pushValue(Column &c, const QVariant &coerced); // text goes to this store's arena
    char16_t *growForString(qsizetype maxChars);

    // The string arena grows by doubling without initialising what it reserves.
    struct Arena
    {
        struct Free
        {
            size_t bytes;
            void operator()(char16_t *p) const noexcept { bulkFree(p, bytes); }
        };
        std::unique_ptr<char16_t[], Free> data { nullptr, Free { 0 } };
        size_t size = 0;
        size_t capacity = 0;
        char16_t *grow(size_t extra);
        void reserve(size_t total);
    };

    FieldDefs m_defs;
    std::vector<Column> m_columns;
    Arena m_arena;
    size_t m_pendingStart = 0; // arena offset of the string between beginString() and finishString()
    qsizetype m_rowCount = 0;
};

} // namespace sqda
