// Report variables: named texts the printed texts refer to in square brackets.
//
// The table is library-wide: a form fills it before each run ("Title", "Condi",
// "Date", "Time", "Oper") and the values stay until they are set again. Besides
// the table, "[Page#]" stands for the number of the page being printed (from 1)
// and "[TotalPages#]" for the number of pages of the whole report.
#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace sqda::report {

class ReportVariables
{
public:
    // The library's one table.
    static ReportVariables &global();

    // Names compare without regard to case, as report designers type them freely.
    void set(const QString &name, const QString &value);
    QString value(QStringView name) const; // empty when unknown
    bool contains(QStringView name) const;
    void clear() { m_values.clear(); }
    // Every name (case-folded) with its value, for saving a report with the values
    // it printed.
    const QHash<QString, QString> &entries() const { return m_values; }

private:
    QHash<QString, QString> m_values; // keyed by the case-folded name
};

// Page numbers for one page being formatted.
struct PageNumbers
{
    int page = 1;
    int totalPages = 1;
};

// `text` with every [Name] replaced: by the page numbers for [Page#] and
// [TotalPages#], by the variable's value otherwise. A variable that is unknown or
// empty prints as nothing; a '[' without a closing ']' is kept as typed.
QString expandVariables(QStringView text, const ReportVariables &variables, PageNumbers numbers);

// True when `text` refers to any variable or page number, so a painter can keep
// plain texts as they are.
bool hasVariables(QStringView text);

} // namespace sqda::report
