#include "ReferencePacket.h"

#include "core/SqlFailure.h"

#include "data/DataError.h"
#include "data/DataStore.h"
#include "data/Packet.h"

#include <QDate>
#include <QDateTime>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

#include <limits>
#include <vector>

namespace kalmora {

using sqda::FieldType;

FieldType ReferencePacket::fieldTypeFor(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::Bool:
        return FieldType::Bool;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
        return FieldType::Int32;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return FieldType::Int64;
    case QMetaType::Float:
    case QMetaType::Double:
        return FieldType::Double;
    case QMetaType::QDate:
        return FieldType::Date;
    case QMetaType::QDateTime:
        return FieldType::DateTime;
    default:
        return FieldType::String;
    }
}

namespace {

bool fitsInt32(const QVariant &v)
{
    bool ok = false;
    const qlonglong n = v.toLongLong(&ok);
    return ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
}

bool isWhole(const QVariant &v)
{
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float)
        return false;
    bool ok = false;
    v.toLongLong(&ok);
    return ok;
}

bool isNumber(const QVariant &v)
{
    bool ok = false;
    v.toDouble(&ok);
    return ok;
}

// Whether every value of a column can be stored as `t`; otherwise the next wider type.
FieldType widen(FieldType t, const QVariant &v)
{
    switch (t) {
    case FieldType::Int32:
        if (fitsInt32(v) && isWhole(v))
            return t;
        return isWhole(v) ? FieldType::Int64 : widen(FieldType::Double, v);
    case FieldType::Int64:
        if (isWhole(v))
            return t;
        return widen(FieldType::Double, v);
    case FieldType::Double:
        return isNumber(v) ? t : FieldType::String;
    case FieldType::Bool:
        return v.typeId() == QMetaType::Bool || isWhole(v) ? t : FieldType::String;
    case FieldType::Date:
        return v.typeId() == QMetaType::QDate && v.toDate().isValid() ? t : FieldType::String;
    case FieldType::DateTime:
        return v.typeId() == QMetaType::QDateTime && v.toDateTime().isValid() ? t : FieldType::String;
    case FieldType::String:
        return t;
    }
    return FieldType::String;
}

QString asText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toHex());
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return v.toTime().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODate);
    default:
        return v.toString();
    }
}

} // namespace

QByteArray ReferencePacket::fromQuery(QSqlQuery &query)
{
    const QSqlRecord record = query.record();
    const int columns = record.count();
    sqda::FieldDefs defs;
    for (int c = 0; c < columns; ++c) {
        const QSqlField f = record.field(c);
        sqda::FieldDef d;
        d.name = f.name().toLower();
        d.type = fieldTypeFor(f.metaType());
        defs << d;
    }

    // All rows first: the types can only be settled once every value was seen.
    std::vector<QVariant> cells;
    qsizetype rows = 0;
    while (query.next()) {
        for (int c = 0; c < columns; ++c) {
            QVariant v = query.value(c);
            if (!v.isNull())
                defs[c].type = widen(defs[c].type, v);
            cells.push_back(std::move(v));
        }
        ++rows;
    }
    if (query.lastError().isValid())
        throw SqlFailure(QStringLiteral("读取查询结果时出错。"), query.lastError());

    for (int c = 0; c < columns; ++c) {
        if (defs[c].type == FieldType::String) {
            const int length = record.field(c).length();
            defs[c].size = length > 0 ? length : 0;
        }
    }

    try {
        sqda::DataStore store(defs);
        store.reserve(rows);
        for (qsizetype r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const QVariant &v = cells[size_t(r * columns + c)];
                if (v.isNull())
                    store.appendNull(c);
                else if (defs[c].type == FieldType::String)
                    store.appendString(c, asText(v));
                else
                    store.appendValue(c, v);
            }
            store.commitRow();
        }
        return sqda::Packet::encode(store);
    } catch (const sqda::DataError &e) {
        throw SqlFailure(QStringList { QStringLiteral("无法把查询结果转换为数据包。"), e.message() });
    }
}

} // namespace kalmora
