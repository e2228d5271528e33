// The in-memory dataset every screen works on.
//
// It holds the rows of one data packet (or rows appended by the program) in a
// DataStore and offers the cursor-style access the forms use: first/next/eof,
// fields by name, append and post. The visible rows are a "view" over the store,
// which filters and indexes reorder or thin out without touching the store.
#pragma once

#include "DataStore.h"
#include "Field.h"

#include <QObject>

#include <memory>
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
    // Replaces structure and rows with the packet's. A bad packet leaves the
    // dataset as it was and returns false with the reason in *error.
    bool loadPacket(const QByteArray &packet, QString *error = nullptr);
    // Same, raising DataError for a bad packet.
    void setData(const QByteArray &packet);
    QByteArray data() const; // all rows, in the order they were stored
    // Takes over rows built elsewhere (the packet decoder, a test fixture).
    void loadStore(DataStore store);
    const DataStore &store() const { return *m_store; }

    // Rows ------------------------------------------------------------------
    void emptyDataSet();
    void append(); // new empty record at the end; fields are set, then post()
    void post();
    void cancel();

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
    qsizetype storeRow(int viewIndex) const
    {
        return m_viewActive ? qsizetype(m_view[size_t(viewIndex)]) : viewIndex;
    }

    // For Field: the store row of the current record, -1 for none.
    qsizetype currentStoreRow() const;
    const QVariant &pendingValue(int col) const { return m_pending[size_t(col)]; }
    void setPendingValue(int col, const QVariant &v);

Q_SIGNALS:
    void opened();
    void closed();
    void dataReset(); // rows or structure replaced
    void rowAppended(int viewIndex);

protected:
    // Filters and indexes set a view: the store rows to show, in order.
    void setView(std::vector<quint32> rows);
    void clearView();

private:
    void rebuildFields();
    void resetCursor();

    std::unique_ptr<DataStore> m_store;
    std::vector<std::unique_ptr<Field>> m_fields;
    std::vector<quint32> m_view;
    bool m_viewActive = false;
    State m_state = State::Inactive;
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    std::vector<QVariant> m_pending;
};

} // namespace sqda
