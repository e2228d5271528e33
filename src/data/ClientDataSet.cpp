#include "ClientDataSet.h"

#include "DataError.h"
#include "Packet.h"

namespace sqda {

ClientDataSet::ClientDataSet(QObject *parent) : QObject(parent), m_store(std::make_unique<DataStore>()) {}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::createDataSet(const FieldDefs &defs)
{
    loadStore(DataStore(defs));
}

FieldDefs ClientDataSet::fieldDefs() const
{
    FieldDefs out;
    out.reserve(qsizetype(m_fields.size()));
    for (const auto &f : m_fields)
        out << f->def();
    return out;
}

Field *ClientDataSet::findField(QStringView name) const
{
    for (const auto &f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field *ClientDataSet::fieldByName(QStringView name) const
{
    if (Field *f = findField(name))
        return f;
    throw DataError(QStringLiteral("Field '%1' not found").arg(name));
}

void ClientDataSet::close()
{
    if (m_state == State::Inactive)
        return;
    m_state = State::Inactive;
    m_pending.clear();
    m_store = std::make_unique<DataStore>(m_store->defs());
    clearView();
    resetCursor();
    Q_EMIT closed();
}

bool ClientDataSet::loadPacket(const QByteArray &packet, QString *error)
{
    std::optional<DataStore> s = Packet::decode(packet, error);
    if (!s)
        return false;
    loadStore(std::move(*s));
    return true;
}

void ClientDataSet::setData(const QByteArray &packet)
{
    QString error;
    if (!loadPacket(packet, &error))
        throw DataError(error);
}

QByteArray ClientDataSet::data() const
{
    return Packet::encode(*m_store);
}

void ClientDataSet::loadStore(DataStore store)
{
    const bool wasActive = isActive();
    m_store = std::make_unique<DataStore>(std::move(store));
    rebuildFields();
    m_pending.clear();
    m_state = State::Browse;
    clearView();
    resetCursor();
    if (!wasActive)
        Q_EMIT opened();
    Q_EMIT dataReset();
}

void ClientDataSet::rebuildFields()
{
    // Keep the visible flag, tag and label of fields that survive a reload, so a
    // grid's column choices outlive a new query.
    std::vector<std::unique_ptr<Field>> old;
    old.swap(m_fields);
    const FieldDefs &defs = m_store->defs();
    for (int i = 0; i < defs.size(); ++i) {
        auto f = std::make_unique<Field>(this, i, defs[i]);
        for (const auto &o : old) {
            if (o->fieldName().compare(defs[i].name, Qt::CaseInsensitive) == 0) {
                f->setVisible(o->visible());
                f->setTag(o->tag());
                if (defs[i].displayLabel.isEmpty())
                    f->setDisplayLabel(o->def().displayLabel);
                break;
            }
        }
        m_fields.push_back(std::move(f));
    }
}

void ClientDataSet::emptyDataSet()
{
    if (!isActive())
        throw DataError(QStringLiteral("数据集未打开"));
    m_store->clear();
    m_pending.clear();
    m_state = State::Browse;
    clearView();
    resetCursor();
    Q_EMIT dataReset();
}

void ClientDataSet::append()
{
    if (!isActive())
        throw DataError(QStringLiteral("数据集未打开"));
    if (m_state == State::Insert)
        post();
    m_pending.assign(m_fields.size(), QVariant());
    m_state = State::Insert;
}

void ClientDataSet::setPendingValue(int col, const QVariant &v)
{
    m_pending[size_t(col)] = v;
}

void ClientDataSet::post()
{
    if (m_state != State::Insert)
        return;
    // Convert every value before storing any, so a bad value leaves no half row.
    std::vector<QVariant> values;
    values.reserve(m_pending.size());
    for (int c = 0; c < fieldCount(); ++c)
        values.push_back(DataStore::coerce(m_fields[size_t(c)]->dataType(), m_pending[size_t(c)]));
    for (int c = 0; c < fieldCount(); ++c)
        m_store->appendCoerced(c, values[size_t(c)]);
    m_store->commitRow();
    const qsizetype row = m_store->rowCount() - 1;
    if (m_viewActive)
        m_view.push_back(quint32(row));
    m_pending.clear();
    m_state = State::Browse;
    const int viewIndex = recordCount() - 1;
    setCurrentIndex(viewIndex);
    Q_EMIT rowAppended(viewIndex);
}

void ClientDataSet::cancel()
{
    if (m_state != State::Insert)
        return;
    m_pending.clear();
    m_state = State::Browse;
}

int ClientDataSet::recordCount() const
{
    return int(m_viewActive ? qsizetype(m_view.size()) : m_store->rowCount());
}

void ClientDataSet::resetCursor()
{
    if (recordCount() > 0) {
        m_current = 0;
        m_eof = m_bof = false;
    } else {
        m_current = -1;
        m_eof = m_bof = true;
    }
}

void ClientDataSet::first()
{
    cancel();
    resetCursor();
    m_bof = true;
}

void ClientDataSet::last()
{
    cancel();
    const int n = recordCount();
    m_current = n - 1;
    m_bof = n == 0;
    m_eof = true;
}

void ClientDataSet::next()
{
    cancel();
    const int n = recordCount();
    m_bof = false;
    if (m_current + 1 < n)
        ++m_current;
    else
        m_eof = true;
}

void ClientDataSet::prior()
{
    cancel();
    m_eof = false;
    if (m_current > 0)
        --m_current;
    else
        m_bof = true;
}

void ClientDataSet::setCurrentIndex(int viewIndex)
{
    const int n = recordCount();
    if (viewIndex < 0 || viewIndex >= n) {
        resetCursor();
        return;
    }
    m_current = viewIndex;
    m_bof = m_eof = false;
}

qsizetype ClientDataSet::currentStoreRow() const
{
    if (m_current < 0 || m_current >= recordCount())
        return -1;
    return storeRow(m_current);
}

void ClientDataSet::setView(std::vector<quint32> rows)
{
    m_view = std::move(rows);
    m_viewActive = true;
    resetCursor();
    Q_EMIT dataReset();
}

void ClientDataSet::clearView()
{
    m_view.clear();
    m_viewActive = false;
}

} // namespace sqda
