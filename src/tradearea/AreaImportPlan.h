// The check of an import, which changes nothing: a verdict for every row of
// the file against the department's areas and the host's level structure, and
// the rows in the order they are to be stored, every parent before its
// children whatever the file's order.
#pragma once

#include "AreaFileReader.h"

#include <QHash>
#include <QString>

#include <array>
#include <vector>

namespace sqda {

struct PlanRow
{
    enum Verdict : quint8 {
        New, // to be added
        Same, // exists with the same name: skipped
        OtherName, // exists with another name: renamed only when the user asks for it
        Refused,
    };
    int line = 0;
    Verdict verdict = Refused;
    qint16 level = 0; // from the level structure; 0 when the host decides
    // Views of the file's texts, which the plan keeps: valid while the plan
    // (or a copy of it) lives.
    QStringView code;
    QStringView name;
    QString reason; // why refused
    QString storedName; // the department's name for an existing code
};

class AreaImportPlan
{
public:
    // `existing`: the department's areas, code to name. `codeLevels`: the text
    // GetCodeLevels answers, one character per level giving the length of that
    // level's part of a code ("2223"); when it is not all digits 1 to 9 the
    // host alone judges the codes' structure. `nameWidth`: the longest name
    // the name edit accepts. The rows and their texts are kept with the plan:
    // pass the rows read with std::move (a copy shares the texts, not the rows).
    static AreaImportPlan make(
        ImportRows rows, const QHash<QString, QString> &existing, const QString &codeLevels, int nameWidth);

    // Accepted rows in code order (which puts every parent first), then the
    // refused ones in file order. A row is made when asked for: the check
    // dialog asks only for the rows it shows.
    size_t size() const { return m_entries.size(); }
    PlanRow row(size_t i) const;
    std::vector<PlanRow> rows() const; // all of them, made now
    int count(PlanRow::Verdict verdict) const;

    // The verdict as the check dialog shows it.
    static QString verdictText(const PlanRow &row, bool updateNames);

private:
    // A row of the plan: its row in the file, the verdict, the reason or the
    // stored name in `m_details`.
    struct Entry
    {
        quint32 source;
        PlanRow::Verdict verdict;
        qint16 level;
        qint32 detail; // -1: none
    };
    ImportRows m_source; // the rows read, and the texts their codes and names are views of
    std::vector<Entry> m_entries;
    std::vector<QString> m_details;
    // Rows per verdict, counted once: the check dialog shows them for every
    // change of its tick, over files of a hundred thousand rows.
    std::array<int, 4> m_counts {};
};

} // namespace sqda
