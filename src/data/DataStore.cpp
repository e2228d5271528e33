#include "DataStore.h"

#include "DataError.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace sqda {

DataStore::DataStore(FieldDefs defs)
    : m_defs(std::move(defs))
{
    m_columns.reserve(size_t(m_defs.size()));
    for (const FieldDef &d : m_defs)
        m_columns.push_back(Column { d.type, {}, {}, {}, {} });
}

void DataStore::reserve(qsizetype rows)
{
    for (Column &c : m_columns) {
        c.nulls.reserve(size_t(rows));
        switch (c.type) {
        case FieldType::String:
            c.strings.reserve(size_t(rows));
            break;
        case FieldType::Double:
            c.reals.reserve(size_t(rows));
            break;
        default:
            c.ints.reserve(size_t(rows));
            break;
        }
    }
}

void DataStore::addReservedTo(PageWarmer &warmer) const
{
    for (const Column &c : m_columns) {
        warmer.addEven(c.nulls.data(), c.nulls.capacity() * sizeof(quint8));
        warmer.addEven(c.ints.data(), c.ints.capacity() * sizeof(qint64));
        warmer.addEven(c.reals.data(), c.reals.capacity() * sizeof(double));
        warmer.addEven(c.strings.data(), c.strings.capacity() * sizeof(StrRef));
    }
    warmer.setFollowed(m_arena.data.get(), m_arena.capacity * sizeof(char16_t));
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
    case FieldType::String:
        c.strings.push_back({ 0, 0 });
        break;
    case FieldType::Double:
        c.reals.push_back(0.0);
        break;
    default:
        c.ints.push_back(0);
        break;
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
    std::unique_ptr<char16_t[], Free> bigger(
        static_cast<char16_t *>(bulkAllocate(total * sizeof(char16_t))), Free { total * sizeof(char16_t) });
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
    case FieldType::String:
        return string(row, col).toString();
    case FieldType::Int32:
        return int(integer(row, col));
    case FieldType::Int64:
        return integer(row, col);
    case FieldType::Double:
        return real(row, col);
    case FieldType::Bool:
        return integer(row, col) != 0;
    case FieldType::Date:
        return date(row, col);
    case FieldType::DateTime:
        return dateTime(row, col);
    }
    return {};
}

QString DataStore::displayText(qsizetype row, int col) const
{
    if (isNull(row, col))
        return {};
    switch (m_columns[size_t(col)].type) {
    case FieldType::String:
        return string(row, col).toString();
    case FieldType::Int32:
    case FieldType::Int64:
        return QString::number(integer(row, col));
    case FieldType::Double:
        return QString::number(real(row, col), 'g', QLocale::FloatingPointShortest);
    case FieldType::Bool:
        return integer(row, col) ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date:
        return date(row, col).toString(Qt::ISODate);
    case FieldType::DateTime:
        return dateTime(row, col).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
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
        const QDateTime dt
            = v.typeId() == QMetaType::QString ? QDateTime::fromString(v.toString(), Qt::ISODate) : v.toDateTime();
        if (!dt.isValid())
            throw DataError(notConvertible(v, "date and time"));
        return dt;
    }
    }
    return {};
}

void DataStore::appendCoerced(int col, const QVariant &v)
{
    pushValue(m_columns[size_t(col)], v);
}

void DataStore::pushValue(Column &c, const QVariant &v)
{
    if (!v.isValid()) {
        c.nulls.push_back(1);
        return pushDefault(c);
    }
    if (c.type == FieldType::String) {
        const QString s = v.toString();
        if (m_arena.size + size_t(s.size()) > std::numeric_limits<quint32>::max())
            throw DataError(QStringLiteral("数据集过大：文本总长度超出限制"));
        const size_t at = m_arena.size;
        std::copy(s.utf16(), s.utf16() + s.size(), m_arena.grow(size_t(s.size())));
        m_arena.size += size_t(s.size());
        c.nulls.push_back(0);
        c.strings.push_back({ quint32(at), quint32(s.size()) });
        return;
    }
    if (c.type == FieldType::Double) {
        c.nulls.push_back(0);
        c.reals.push_back(v.toDouble());
        return;
    }
    qint64 i = 0;
    switch (c.type) {
    case FieldType::Bool:
        i = v.toBool() ? 1 : 0;
        break;
    case FieldType::Date: {
        const QDate d = v.toDate();
        if (!d.isValid()) {
            c.nulls.push_back(1);
            return pushDefault(c);
        }
        i = d.toJulianDay();
        break;
    }
    case FieldType::DateTime: {
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid()) {
            c.nulls.push_back(1);
            return pushDefault(c);
        }
        i = dt.toMSecsSinceEpoch();
        break;
    }
    default:
        i = v.toLongLong();
        break;
    }
    c.nulls.push_back(0);
    c.ints.push_back(i);
}

void DataStore::appendValue(int col, const QVariant &v)
{
    appendCoerced(col, coerce(m_columns[size_t(col)].type, v));
}

Result<DataStore> DataStore::project(DataStore &&source, const FieldDefs &target)
{
    std::vector<int> from;
    from.reserve(size_t(target.size()));
    for (const FieldDef &d : target) {
        int found = -1;
        for (int c = 0; c < source.m_defs.size() && found < 0; ++c) {
            if (source.m_defs[c].name.compare(d.name, Qt::CaseInsensitive) == 0)
                found = c;
        }
        if (found < 0)
            return Error { QStringLiteral("数据中没有字段 %1").arg(d.name) };
        if (std::find(from.begin(), from.end(), found) != from.end())
            return Error { QStringLiteral("字段 %1 定义了两次").arg(d.name) };
        from.push_back(found);
    }

    // Converted columns first, while every source column is still in place; their
    // text goes into source's arena, which becomes the result's.
    DataStore out(target);
    out.m_rowCount = source.m_rowCount;
    for (int t = 0; t < target.size(); ++t) {
        const int c = from[size_t(t)];
        if (source.m_columns[size_t(c)].type == target[t].type)
            continue;
        Column &dst = out.m_columns[size_t(t)];
        for (qsizetype r = 0; r < source.m_rowCount; ++r) {
            try {
                source.pushValue(dst, coerce(target[t].type, source.value(r, c)));
            } catch (const DataError &e) {
                return Error { QStringLiteral("字段 %1 第 %2 行：%3").arg(target[t].name).arg(r + 1).arg(e.message()) };
            }
        }
    }
    // Same type: the column's arrays move as they are.
    for (int t = 0; t < target.size(); ++t) {
        Column &src = source.m_columns[size_t(from[size_t(t)])];
        if (src.type == target[t].type)
            out.m_columns[size_t(t)] = std::move(src);
    }
    out.m_arena = std::move(source.m_arena);
    return out;
}

} // namespace sqda
