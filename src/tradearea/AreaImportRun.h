// The import carried out through the host, row by row, exactly as the
// screen's own add: CheckAreaCode (its "你想建立…" question taken as answered
// yes, for the import as a whole), then InsertArea with the level the check
// returned; a rename through the screen's rename statement. One host call
// sequence per row: a cancel between rows or a failure ends the run after the
// row in hand, never inside one.
//
// A code the host refuses at its check (taken meanwhile by another
// workstation, say) is that row's outcome and the run goes on; the rows that
// would hang under it are not tried. A refused insert or rename, or a host
// call that throws, ends the run.
#pragma once

#include "AreaImportPlan.h"
#include "host/CoorDisp.h"

#include "data/ClientDataSet.h"

#include <QSet>

namespace sqda {

struct ImportOutcome
{
    enum Kind { Stored, Renamed, Skipped, Refused, NotRun };
    int line = 0;
    QString code;
    QString name;
    Kind kind = NotRun;
    QString message;
};

class AreaImportRun
{
public:
    AreaImportRun(CoorDisp host, QString department, const AreaImportPlan &plan, bool updateNames);

    int total() const { return int(m_outcomes.size()); }
    int done() const { return m_next; }
    bool finished() const { return m_next >= total() || m_stopped; }
    // Carries out the next row. An exception from the host call is caught:
    // the row is reported and the run ends.
    void step();
    // Ends the run before the next row (the user's cancel).
    void cancel();
    bool stopped() const { return m_stopped; }
    // The reason the run ended early, empty otherwise.
    QString stopReason() const { return m_stopReason; }
    bool changedAnything() const { return m_changed; }

    const std::vector<ImportOutcome> &outcomes() const { return m_outcomes; }
    int count(ImportOutcome::Kind kind) const;
    static QString kindText(ImportOutcome::Kind kind);
    // The summary as CSV text (UTF-8 with a byte-order mark when written).
    QString summaryCsv() const;

private:
    void runRow(const PlanRow &row, ImportOutcome &out);

    CoorDisp m_host;
    QString m_department;
    AreaImportPlan m_plan; // a copy: it shares the file's texts, which its rows are views of
    std::vector<ImportOutcome> m_outcomes;
    ClientDataSet m_rowSet; // the one-row packet InsertArea takes
    QSet<QString> m_failedCodes; // rows not stored: their children are not tried
    bool m_updateNames;
    int m_next = 0;
    bool m_stopped = false;
    bool m_changed = false;
    QString m_stopReason;
};

} // namespace sqda
