#include "Field.h"

#include "ClientDataSet.h"
#include "DataError.h"

namespace sqda {

namespace {

QString notValid(const QString &text, const char *what)
{
    return QStringLiteral("'%1' is not a valid %2 value").arg(text, QLatin1String(what));
}

} // namespace

Field::Field(ClientDataSet *owner, int index, FieldDef def)
    : m_owner(owner)
    , m_index(index)
    , m_def(std::move(def))
{
}

bool Field::isNull() const
{
    if (m_owner->state() == ClientDataSet::State::Insert)
        return !m_owner->pendingValue(m_index).isValid();
    const qsizetype row = m_owner->currentStoreRow();
    return row < 0 || m_owner->store().isNull(row, m_index);
}

QVariant Field::value() const
{
    if (m_owner->state() == ClientDataSet::State::Insert)
        return m_owner->pendingValue(m_index);
    const qsizetype row = m_owner->currentStoreRow();
    return row < 0 ? QVariant() : m_owner->store().value(row, m_index);
}

QString Field::asString() const
{
    if (m_def.type == FieldType::String && m_owner->state() != ClientDataSet::State::Insert) {
        const qsizetype row = m_owner->currentStoreRow();
        return row < 0 ? QString() : m_owner->store().string(row, m_index).toString();
    }
    const QVariant v = value();
    if (!v.isValid())
        return {};
    switch (m_def.type) {
    case FieldType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date:
        return v.toDate().toString(Qt::ISODate);
    case FieldType::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return v.toString();
    }
}

qint64 Field::asLargeInt() const
{
    switch (m_def.type) {
    case FieldType::Int32:
    case FieldType::Int64:
    case FieldType::Bool:
        return value().toLongLong();
    case FieldType::Double: {
        // Only a double inside qint64's range converts; NaN, infinities and huge
        // values from a host answer are an error, not undefined behaviour.
        const double d = value().toDouble();
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            throw DataError(notValid(QString::number(d, 'g', 17), "integer"));
        return qint64(d);
    }
    default:
        break;
    }
    // Text converts the way a user would type a whole number: blanks around it are
    // an error, as is an empty text.
    const QString s = asString();
    bool ok = false;
    const qint64 v = s.toLongLong(&ok);
    if (!ok)
        throw DataError(notValid(s, "integer"));
    return v;
}

qint32 Field::asInteger() const
{
    const qint64 v = asLargeInt();
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        throw DataError(notValid(QString::number(v), "integer"));
    return qint32(v);
}

double Field::asFloat() const
{
    switch (m_def.type) {
    case FieldType::String: {
        const QString s = asString().trimmed();
        bool ok = false;
        const double v = s.toDouble(&ok);
        if (!ok)
            throw DataError(notValid(s, "floating point"));
        return v;
    }
    default:
        return value().toDouble();
    }
}

bool Field::asBoolean() const
{
    if (m_def.type != FieldType::String)
        return value().toBool();
    const QString s = asString();
    if (s.isEmpty())
        return false;
    if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1"))
        return true;
    if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0"))
        return false;
    throw DataError(notValid(s, "boolean"));
}

QDate Field::asDate() const
{
    const QVariant v = value();
    if (m_def.type == FieldType::String)
        return QDate::fromString(v.toString(), Qt::ISODate);
    return v.toDate();
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (m_def.type == FieldType::String)
        return QDateTime::fromString(v.toString(), Qt::ISODate);
    return v.toDateTime();
}

void Field::setValue(const QVariant &v)
{
    if (m_owner->state() != ClientDataSet::State::Insert)
        throw DataError(QStringLiteral("数据集不在插入状态，不能给字段 %1 赋值").arg(m_def.name));
    m_owner->setPendingValue(m_index, v);
}

} // namespace sqda
