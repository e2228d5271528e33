#include "ClientDataSet.h"

#include "DataError.h"
#include "Packet.h"

namespace sqda {

namespace {
[[noreturn]] void raise(const QString &text)
{
    throw DataError(text);
}
} // namespace

ClientDataSet::ClientDataSet(QObject *parent)
    : QObject(parent)
    , m_store(std::make_unique<DataStore>())
{
}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::createDataSet(const FieldDefs &defs)
{
    m_persistent = false;
    loadStore(DataStore(defs));
}

void ClientDataSet::setPersistentFields(const FieldDefs &defs)
{
    m_persistent = false; // the new definitions are taken as they are
    loadStore(DataStore(defs));
    m_persistent = true;
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
    raise(QStringLiteral("Field '%1' not found").arg(name));
}

void ClientDataSet::close()
{
    if (m_state == State::Inactive)
        return;
    announceReload();
    Q_EMIT aboutToReset();
    m_state = State::Inactive;
    m_pending.clear();
    m_store = std::make_unique<DataStore>(m_store->defs());
    rowsChanged();
    m_order.reset();
    m_view.reset();
    resetCursor();
    Q_EMIT dataReset();
    Q_EMIT reloaded();
    Q_EMIT closed();
}

Status ClientDataSet::loadPacket(const QByteArray &packet)
{
    Result<DataStore> s = Packet::decode(packet);
    if (!s)
        return Error { s.error() };
    std::optional<FilterProgram> program;
    if (Status st = prepareStore(*s, &program); !st)
        return st;
    m_filter = std::move(program);
    replaceStore(std::move(*s));
    return Status();
}

void ClientDataSet::setData(const QByteArray &packet)
{
    if (Status st = loadPacket(packet); !st)
        raise(st.error());
}

QByteArray ClientDataSet::data() const
{
    return Packet::encode(*m_store);
}

void ClientDataSet::loadStore(DataStore store)
{
    std::optional<FilterProgram> program;
    if (Status st = prepareStore(store, &program); !st)
        raise(st.error());
    m_filter = std::move(program);
    replaceStore(std::move(store));
}

Status ClientDataSet::prepareStore(DataStore &store, std::optional<FilterProgram> *program) const
{
    if (m_persistent) {
        Result<DataStore> projected = DataStore::project(std::move(store), m_store->defs());
        if (!projected)
            return Error { projected.error() };
        store = std::move(*projected);
    }
    // The filter is bound to the new columns now, so rows it cannot apply to are
    // refused before anything changes.
    if (!m_filterText.trimmed().isEmpty()) {
        Result<FilterExpression> expr = FilterExpression::parse(m_filterText);
        if (!expr)
            return Error { expr.error() };
        Result<FilterProgram> bound = FilterProgram::bind(*expr, store.defs());
        if (!bound) {
            if (m_filtered)
                return Error { bound.error() };
            // Off, it may wait for rows it fits; setFiltered(true) reports it.
            return Status();
        }
        program->emplace(std::move(*bound));
    }
    return Status();
}

void ClientDataSet::replaceStore(DataStore &&store)
{
    const bool wasActive = isActive();
    announceReload();
    Q_EMIT aboutToReset();
    m_store = std::make_unique<DataStore>(std::move(store));
    rebuildFields();
    m_pending.clear();
    m_state = State::Browse;
    rowsChanged();
    m_order.reset();
    if (!m_indexName.isEmpty()) {
        // The index goes on over the new rows while its fields are still there.
        auto order = orderFor(m_indexDefs.find(m_indexName));
        if (order)
            m_order = std::move(*order);
        else
            m_indexName.clear();
    }
    computeView();
    resetCursor();
    if (!wasActive)
        Q_EMIT opened();
    Q_EMIT dataReset();
    Q_EMIT reloaded();
}

void ClientDataSet::announceReload()
{
    m_reloading = true;
    // A receiver's exception must not leave the flag set: the reload goes on.
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset { m_reloading };
    Q_EMIT aboutToReload();
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
        raise(QStringLiteral("数据集未打开"));
    Q_EMIT aboutToReset();
    m_store->clear();
    m_pending.clear();
    m_state = State::Browse;
    rowsChanged();
    if (m_order)
        m_order = std::make_shared<std::vector<quint32>>();
    computeView();
    resetCursor();
    Q_EMIT dataReset();
}

void ClientDataSet::append()
{
    if (!isActive())
        raise(QStringLiteral("数据集未打开"));
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
    const auto row = quint32(m_store->rowCount());
    m_pending.clear();
    m_state = State::Browse;
    rowsChanged();

    if (m_order) {
        // A sorted view takes the new row at its place: sort again.
        Q_EMIT aboutToReset();
        m_store->commitRow();
        if (auto order = orderFor(m_indexDefs.find(m_indexName)))
            m_order = std::move(*order);
        computeView();
        setCurrentIndex(viewIndexOf(row));
        Q_EMIT dataReset();
        return;
    }
    const bool shown = !m_view || !m_filter || m_filter->passes(*m_store, row);
    if (!shown) {
        // A filtered-out row is stored but not shown; the cursor stays.
        m_store->commitRow();
        return;
    }
    const int viewIndex = recordCount();
    Q_EMIT rowAboutToBeAppended(viewIndex);
    m_store->commitRow();
    if (m_view) {
        if (m_view.use_count() > 1)
            m_view = std::make_shared<std::vector<quint32>>(*m_view);
        m_view->push_back(row);
    }
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

// Filter ---------------------------------------------------------------------

void ClientDataSet::setFilter(const QString &expression)
{
    Result<FilterExpression> expr = FilterExpression::parse(expression);
    if (!expr)
        raise(expr.error());
    std::optional<FilterProgram> program;
    if (!expr->isEmpty()) {
        Result<FilterProgram> bound = FilterProgram::bind(*expr, m_store->defs());
        if (!bound) {
            // A closed dataset takes an expression for the rows it will load.
            if (isActive())
                raise(bound.error());
        } else {
            program.emplace(std::move(*bound));
        }
    }
    m_filterText = expression;
    m_filter = std::move(program);
    if (m_filtered && isActive())
        relayout(false);
}

void ClientDataSet::setFiltered(bool on)
{
    if (on == m_filtered)
        return;
    if (on && isActive() && !m_filter && !m_filterText.trimmed().isEmpty()) {
        Result<FilterExpression> expr = FilterExpression::parse(m_filterText);
        Result<FilterProgram> bound
            = expr ? FilterProgram::bind(*expr, m_store->defs()) : Result<FilterProgram>(Error { expr.error() });
        if (!bound)
            raise(bound.error());
        m_filter.emplace(std::move(*bound));
    }
    m_filtered = on;
    if (isActive())
        relayout(false);
}

// Indexes --------------------------------------------------------------------

void ClientDataSet::addIndex(
    const QString &name, const QString &fields, IndexOptions options, const QString &descFields)
{
    if (name.trimmed().isEmpty())
        raise(QStringLiteral("索引名不能为空"));
    if (IndexDef::splitFields(fields).isEmpty())
        raise(QStringLiteral("索引 %1 没有字段").arg(name));
    m_indexDefs.add(IndexDef { name, fields, options, descFields });
    if (!m_indexName.isEmpty() && m_indexName.compare(name, Qt::CaseInsensitive) == 0) {
        // The current index changed under the view. Its new fields may be wrong;
        // then the view goes back to store order rather than keep a stale sort.
        try {
            setIndexName(name);
        } catch (const DataError &) {
            setIndexName(QString());
            throw;
        }
    }
}

void ClientDataSet::deleteIndex(const QString &name)
{
    if (!m_indexDefs.remove(name))
        raise(QStringLiteral("索引 %1 不存在").arg(name));
    if (!m_indexName.isEmpty() && m_indexName.compare(name, Qt::CaseInsensitive) == 0)
        setIndexName(QString());
}

void ClientDataSet::setIndexName(const QString &name)
{
    std::shared_ptr<std::vector<quint32>> order;
    if (!name.isEmpty()) {
        const IndexDef *def = m_indexDefs.find(name);
        if (!def)
            raise(QStringLiteral("索引 %1 不存在").arg(name));
        if (isActive() && !m_reloading) {
            auto sorted = orderFor(def);
            if (!sorted)
                raise(sorted.error());
            order = std::move(*sorted);
        }
    }
    if (!isActive() || m_reloading) {
        // New rows are coming: they are ordered by this index when they arrive.
        m_indexName = name;
        return;
    }
    const qsizetype current = currentStoreRow();
    Q_EMIT layoutAboutToChange();
    m_indexName = name;
    m_order = std::move(order);
    computeView();
    if (const int at = viewIndexOf(current); at >= 0)
        setCurrentIndex(at);
    else
        resetCursor();
    Q_EMIT layoutChanged();
}

qsizetype ClientDataSet::indexMemoryBytes() const
{
    qsizetype bytes = m_order ? qsizetype(m_order->capacity() * sizeof(quint32)) : 0;
    for (const CachedRanks &c : m_ranks)
        bytes += qsizetype(c.ranks.ranks.capacity() * sizeof(quint32));
    return bytes;
}

const ColumnRanks &ClientDataSet::ranksFor(int col, bool caseInsensitive)
{
    // Case matters only for text: other columns share one entry.
    if (m_store->defs()[col].type != FieldType::String)
        caseInsensitive = false;
    for (const CachedRanks &c : m_ranks) {
        if (c.col == col && c.caseInsensitive == caseInsensitive)
            return c.ranks;
    }
    m_ranks.push_back({ col, caseInsensitive, ColumnRanks::build(*m_store, col, caseInsensitive) });
    return m_ranks.back().ranks;
}

const PinyinKeys &ClientDataSet::pinyinKeysFor(int col)
{
    for (const auto &[c, keys] : m_pinyin) {
        if (c == col)
            return *keys;
    }
    m_pinyin.emplace_back(col, std::make_unique<PinyinKeys>(PinyinKeys::forColumn(*m_store, col)));
    return *m_pinyin.back().second;
}

Result<std::shared_ptr<std::vector<quint32>>> ClientDataSet::orderFor(const IndexDef *def)
{
    if (!def)
        return Error { QStringLiteral("索引 %1 不存在").arg(m_indexName) };
    const bool ci = def->options.testFlag(IndexOption::CaseInsensitive);
    std::vector<int> cols;
    for (const QString &name : IndexDef::splitFields(def->fields)) {
        const Field *f = findField(name);
        if (!f)
            return Error { QStringLiteral("索引 %1 的字段 %2 不存在").arg(def->name, name) };
        cols.push_back(f->index());
    }
    // m_ranks may grow while keys are collected; take the pointers afterwards.
    for (int col : cols)
        ranksFor(col, ci);
    std::vector<SortKey> keys;
    const QStringList names = IndexDef::splitFields(def->fields);
    for (size_t i = 0; i < cols.size(); ++i)
        keys.push_back({ &ranksFor(cols[i], ci), def->isDescending(names[qsizetype(i)]) });
    return std::make_shared<std::vector<quint32>>(sortRows(m_store->rowCount(), keys));
}

void ClientDataSet::computeView()
{
    ++m_version;
    const bool filtering = m_filtered && m_filter && !m_filter->passesAll();
    if (!filtering) {
        m_view = m_order; // shared with the index: no copy
        return;
    }
    std::vector<quint32> passing = m_filter->select(*m_store);
    if (!m_order) {
        m_view = std::make_shared<std::vector<quint32>>(std::move(passing));
        return;
    }
    // Filter in store order (sequential column sweeps), then keep the index's order.
    std::vector<quint8> mask(size_t(m_store->rowCount()), 0);
    for (quint32 r : passing)
        mask[r] = 1;
    auto view = std::make_shared<std::vector<quint32>>();
    view->reserve(passing.size());
    for (quint32 r : *m_order) {
        if (mask[r])
            view->push_back(r);
    }
    m_view = std::move(view);
}

void ClientDataSet::relayout(bool keepRecord)
{
    const qsizetype current = currentStoreRow();
    Q_EMIT layoutAboutToChange();
    computeView();
    if (keepRecord && current >= 0 && viewIndexOf(current) >= 0)
        setCurrentIndex(viewIndexOf(current));
    else
        resetCursor();
    Q_EMIT layoutChanged();
}

int ClientDataSet::viewIndexOf(qsizetype storeRow) const
{
    if (storeRow < 0 || storeRow >= m_store->rowCount())
        return -1;
    if (!m_view)
        return int(storeRow);
    const auto it = std::find(m_view->begin(), m_view->end(), quint32(storeRow));
    return it == m_view->end() ? -1 : int(it - m_view->begin());
}

// Cursor ---------------------------------------------------------------------

int ClientDataSet::recordCount() const
{
    return int(m_view ? qsizetype(m_view->size()) : m_store->rowCount());
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

} // namespace sqda
