// The text an object prints in a given row and on a given page: what painting,
// find in the preview and the spreadsheet export all read, so they agree.
#pragma once

#include "ReportDataSource.h"
#include "ReportLayout.h"
#include "ReportVariables.h"

#include <QHash>

namespace sqda::report {

class ObjectText
{
public:
    // Both must outlive this object.
    ObjectText(const ReportDataSource &source, const ReportVariables &variables)
        : m_source(source)
        , m_variables(variables)
    {
    }

    // Text: as written, or expanded when the object asks for it; RichText: its
    // paragraphs joined by '\n', likewise; DataField: the column's display text in
    // `row`; CheckBox: empty (see ticked()); Aggregate: the sum or the count over
    // every row of the source, numbers in their shortest form.
    QString text(const ReportObject &object, int row, PageNumbers numbers) const;
    bool ticked(const ReportObject &object, int row) const;
    // One run of a RichText object as printed: painting sets each run in its own
    // font, and text() is these runs joined by paragraph.
    QString runText(const ReportObject &object, const TextRun &run, PageNumbers numbers) const;

private:
    const ReportDataSource &m_source;
    const ReportVariables &m_variables;
    mutable QHash<int, double> m_sums; // per column, computed on first use
};

} // namespace sqda::report
