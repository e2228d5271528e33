#include "DataStore.h"

#include "DataError.h"

#include <QTimeZone>

#include <limits>

namespace sqda {

DataStore::DataStore(FieldDefs defs) : m_defs(std::move(defs))
{
    m_columns.reserve(size_t(m_defs.size()));
    for (const FieldDef &d : m_defs)
        m_columns.push_back(Column{d.type, {}, {}, {}, {}});
}

void DataStore::reserve(qsizetype rows)
{
    for (Column &c : m_columns) {
        c.nulls.reserve(size_t(rows));
        switch (c.type) {
        case FieldType::String: c.strings.reserve(size_t(rows)); break;
        case FieldType::Double: c.reals.reserve(size_t(rows)); break;
        default: c.ints.reserve(size_t(rows)); break;
        }
    }
}

void DataStore::clear()
{
    for (Column &c : m_columns) {
        c.nulls.clear();
        c.ints.clear();
        c.reals.clear();
        c.strings.clear();
    }
    m_arena.size = 0;
    m_rowCount = 0;
}

void DataStore::pushDefault(Column &c)
{
    switch (c.type) {
    case FieldType::String: c.strings.push_back({0, 0}); break;
    case FieldType::Double: c.reals.push_back(0.0); break;
    default: c.ints.push_back(0); break;
    }
}

void DataStore::appendNull(int col)
{
    Column &c = m_columns[size_t(col)];
    c.nulls.push_back(1);
    pushDefault(c);
}

void DataStore::Arena::reserve(size_t total)
{
    if (total <= capacity)
        return;
    // Reserved, not initialised: pages of it that are never written are never touched.
    std::unique_ptr<char16_t[], Free> bigger(static_cast<char16_t *>(bulkAllocate(total * sizeof(char16_t))),
                                             Free{total * sizeof(char16_t)});
    std::copy(data.get(), data.get() + size, bigger.get());
    data = std::move(bigger);
    capacity = total;
}

char16_t *DataStore::Arena::grow(size_t extra)
{
    if (size + extra > capacity) {
        size_t cap = std::max<size_t>(capacity * 2, 4096);
        while (cap < size + extra)
            cap *= 2;
        reserve(cap);
    }
    return data.get() + size;
}

char16_t *DataStore::growForString(qsizetype maxChars)
{
    // Offsets are 32 bits wide: refuse rather than wrap.
    if (m_arena.size + size_t(maxChars) > std::numeric_limits<quint32>::max())
        throw DataError(QStringLiteral("数据集过大：文本总长度超出限制"));
    return m_arena.grow(size_t(maxChars));
}

void DataStore::appendString(int col, QStringView s)
{
    char16_t *out = beginString(s.size());
    std::copy(s.utf16(), s.utf16() + s.size(), out);
    finishString(col, s.size());
}

void DataStore::appendDate(int col, QDate d)
{
    if (!d.isValid())
        return appendNull(col);
    appendInt(col, d.toJulianDay());
}

void DataStore::appendDateTime(int col, const QDateTime &dt)
{
    if (!dt.isValid())
        return appendNull(col);
    appendInt(col, dt.toMSecsSinceEpoch());
}

QStringView DataStore::string(qsizetype row, int col) const
{
    const StrRef r = m_columns[size_t(col)].strings[size_t(row)];
    return QStringView(m_arena.data.get() + r.offset, qsizetype(r.length));
}

QDate DataStore::date(qsizetype row, int col) const
{
    return isNull(row, col) ? QDate() : QDate::fromJulianDay(integer(row, col));
}

QDateTime DataStore::dateTime(qsizetype row, int col) const
{
    return isNull(row, col) ? QDateTime() : QDateTime::fromMSecsSinceEpoch(integer(row, col), Qt::UTC).toLocalTime();
}

QVariant DataStore::value(qsizetype row, int col) const
{
    if (isNull(row, col))
        return {};
    switch (m_columns[size_t(col)].type) {
    case FieldType::String: return string(row, col).toString();
    case FieldType::Int32: return int(integer(row, col));
    case FieldType::Int64: return integer(row, col);
    case FieldType::Double: return real(row, col);
    case FieldType::Bool: return integer(row, col) != 0;
    case FieldType::Date: return date(row, col);
    case FieldType::DateTime: return dateTime(row, col);
    }
    return {};
}

namespace {
QString notConvertible(const QVariant &v, const char *what)
{
    return QStringLiteral("'%1' is not a valid %2 value").arg(v.toString(), QLatin1String(what));
}
} // namespace

QVariant DataStore::coerce(FieldType type, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return {};
    bool ok = true;
    switch (type) {
    case FieldType::String:
        return v.toString();
    case FieldType::Int32: {
        const int i = v.toInt(&ok);
        if (!ok)
            throw DataError(notConvertible(v, "integer"));
        return qint64(i);
    }
    case FieldType::Int64: {
        const qint64 i = v.toLongLong(&ok);
        if (!ok)
            throw DataError(notConvertible(v, "integer"));
        return i;
    }
    case FieldType::Double: {
        const double d = v.toDouble(&ok);
        if (!ok)
            throw DataError(notConvertible(v, "floating point"));
        return d;
    }
    case FieldType::Bool:
        return v.toBool();
    case FieldType::Date: {
        const QDate d = v.typeId() == QMetaType::QString ? QDate::fromString(v.toString(), Qt::ISODate) : v.toDate();
        if (!d.isValid())
            throw DataError(notConvertible(v, "date"));
        return d;
    }
    case FieldType::DateTime: {
        const QDateTime dt = v.typeId() == QMetaType::QString ? QDateTime::fromString(v.toString(), Qt::ISODate)
                                                              : v.toDateTime();
        if (!dt.isValid())
            throw DataError(notConvertible(v, "date and time"));
        return dt;
    }
    }
    return {};
}

void DataStore::appendCoerced(int col, const QVariant &v)
{
    if (!v.isValid())
        return appendNull(col);
    switch (m_columns[size_t(col)].type) {
    case FieldType::String: return appendString(col, v.toString());
    case FieldType::Int32:
    case FieldType::Int64: return appendInt(col, v.toLongLong());
    case FieldType::Double: return appendDouble(col, v.toDouble());
    case FieldType::Bool: return appendBool(col, v.toBool());
    case FieldType::Date: return appendDate(col, v.toDate());
    case FieldType::DateTime: return appendDateTime(col, v.toDateTime());
    }
}

void DataStore::appendValue(int col, const QVariant &v)
{
    appendCoerced(col, coerce(m_columns[size_t(col)].type, v));
}

} // namespace sqda
