// The in-memory dataset every screen works on.
//
// It holds the rows of one data packet (or rows appended by the program) in a
// DataStore and offers the cursor-style access the forms use: first/next/eof,
// fields by name, append and post. The visible rows are a "view" over the store:
// the current index orders them and the filter thins them out, neither touching
// the store. Record count, cursor and DataSetModel all follow the view.
#pragma once

#include "ColumnRanks.h"
#include "DataStore.h"
#include "Field.h"
#include "FilterExpression.h"
#include "FilterProgram.h"
#include "IndexDef.h"
#include "PinyinKeys.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace sqda {

class ClientDataSet : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Insert };

    explicit ClientDataSet(QObject *parent = nullptr);
    ~ClientDataSet() override;

    // Structure -------------------------------------------------------------
    void createDataSet(const FieldDefs &defs); // defines the fields and opens empty
    // Fields defined before any data: later packets fill them by column name, their
    // other columns are ignored, and a packet lacking one of them is refused.
    void setPersistentFields(const FieldDefs &defs);
    bool hasPersistentFields() const { return m_persistent; }
    FieldDefs fieldDefs() const;
    int fieldCount() const { return int(m_fields.size()); }
    Field *field(int i) const { return m_fields[size_t(i)].get(); }
    Field *findField(QStringView name) const; // case-insensitive; nullptr when absent
    Field *fieldByName(QStringView name) const; // raises DataError when absent

    // State -----------------------------------------------------------------
    State state() const { return m_state; }
    bool isActive() const { return m_state != State::Inactive; }
    void close();

    // Packets ---------------------------------------------------------------
    // Replaces the rows (and, without persistent fields, the structure) with the
    // packet's. A bad packet, one lacking a persistent field, or rows the filter
    // cannot be applied to leave the dataset as it was and return the reason.
    Status loadPacket(const QByteArray &packet);
    // Same, raising DataError for a bad packet.
    void setData(const QByteArray &packet);
    QByteArray data() const; // all rows, in the order they were stored
    // Takes over rows built elsewhere (the packet decoder, a test fixture); raises
    // DataError as loadPacket() fails.
    void loadStore(DataStore store);
    const DataStore &store() const { return *m_store; }

    // Rows ------------------------------------------------------------------
    void emptyDataSet();
    void append(); // new empty record at the end; fields are set, then post()
    void post();
    void cancel();

    // Filter ----------------------------------------------------------------
    // The expression (see FilterExpression) applies while filtered() is on. A bad
    // expression raises DataError naming the position; the previous one stays.
    QString filter() const { return m_filterText; }
    void setFilter(const QString &expression);
    bool filtered() const { return m_filtered; }
    void setFiltered(bool on);

    // Indexes ---------------------------------------------------------------
    const IndexDefs &indexDefs() const { return m_indexDefs; }
    void updateIndexDefs() { m_indexDefs.update(); }
    // Adds or replaces a definition; replacing the current index re-sorts.
    void addIndex(
        const QString &name, const QString &fields, IndexOptions options = {}, const QString &descFields = {});
    void deleteIndex(const QString &name); // the current one: back to store order
    QString indexName() const { return m_indexName; }
    // Makes the named index current (empty: store order). Raises DataError for an
    // unknown index or field; the cursor stays on its record when it is still shown.
    void setIndexName(const QString &name);
    // Memory the current sort holds: its row order plus the cached column ranks.
    qsizetype indexMemoryBytes() const;

    // The pinyin keys of a text column by store row (see PinyinKeys), built at
    // the first request and kept, like the column ranks, until the rows change.
    const PinyinKeys &pinyinKeysFor(int col);

    // Cursor over the visible rows ------------------------------------------
    int recordCount() const;
    bool isEmpty() const { return recordCount() == 0; }
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    int currentIndex() const { return m_current; } // -1 when there is no current record
    void setCurrentIndex(int viewIndex);
    qsizetype storeRow(int viewIndex) const { return m_view ? qsizetype((*m_view)[size_t(viewIndex)]) : viewIndex; }
    // Grows whenever the rows or the view (order, filter) change: a reader that kept
    // row positions (a prepared report) compares it to know they are stale.
    quint64 viewVersion() const { return m_version; }
    // The view index of a store row, -1 when the view does not show it.
    int viewIndexOf(qsizetype storeRow) const;

    // For Field: the store row of the current record, -1 for none.
    qsizetype currentStoreRow() const;
    const QVariant &pendingValue(int col) const { return m_pending[size_t(col)]; }
    void setPendingValue(int col, const QVariant &v);

Q_SIGNALS:
    void opened();
    void closed();
    // The rows are about to be replaced (see reloaded()); comes before
    // aboutToReset(). An index chosen here with setIndexName() orders the new
    // rows, without the old ones being sorted again first.
    void aboutToReload();
    void aboutToReset(); // rows or structure are about to be replaced
    void dataReset(); // ... and have been
    // The rows were replaced by others: the dataset opened, closed or took a
    // packet or a store. Comes after dataReset(). Emptying the dataset, appending
    // and re-sorting or filtering keep the rows and do not raise it.
    void reloaded();
    void layoutAboutToChange(); // the filter or the index is about to change the view
    void layoutChanged();
    void rowAboutToBeAppended(int viewIndex);
    void rowAppended(int viewIndex);

private:
    void rebuildFields();
    void resetCursor();
    void replaceStore(DataStore &&store); // after every check passed; cannot fail
    void announceReload(); // emits aboutToReload()
    Status prepareStore(DataStore &store, std::optional<FilterProgram> *program) const;
    // The sort order of the current index, from cached column ranks.
    Result<std::shared_ptr<std::vector<quint32>>> orderFor(const IndexDef *def);
    const ColumnRanks &ranksFor(int col, bool caseInsensitive);
    void computeView();
    // Recomputes the view inside layout-change signals, keeping the current record
    // when `keepRecord` and it is still shown, else going to the first.
    void relayout(bool keepRecord);
    void rowsChanged()
    {
        m_ranks.clear();
        m_pinyin.clear();
        ++m_version;
    }

    std::unique_ptr<DataStore> m_store;
    std::vector<std::unique_ptr<Field>> m_fields;
    bool m_persistent = false;

    QString m_filterText;
    std::optional<FilterProgram> m_filter; // bound to the current fields; empty: none
    bool m_filtered = false;

    IndexDefs m_indexDefs;
    QString m_indexName;
    struct CachedRanks
    {
        int col;
        bool caseInsensitive;
        ColumnRanks ranks;
    };
    std::vector<CachedRanks> m_ranks; // dropped whenever rows change
    std::vector<std::pair<int, std::unique_ptr<PinyinKeys>>> m_pinyin; // the same
    quint64 m_version = 0;
    std::shared_ptr<std::vector<quint32>> m_order; // the current index; null: store order
    std::shared_ptr<std::vector<quint32>> m_view; // order and filter; null: store order

    State m_state = State::Inactive;
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    std::vector<QVariant> m_pending;
    bool m_reloading = false; // inside aboutToReload()
};

} // namespace sqda
