// Saved prepared reports: a file that paints the same pages again later, without
// the dataset they were made from.
//
// The file holds the layout, the report variables as they were, the page table and
// the cells of every dataset column the layout prints (display text and, for
// numbers and truth values, the value), compressed. The format is ours and
// versioned; docs/report-engine.md describes it byte by byte. Loading checks the
// magic, the version, the checksum and every count and index against what is left
// of the file, so a damaged, truncated or foreign file is refused with a message and
// never makes the loader read past its data or allocate more than the file can hold.
#pragma once

#include "PreparedReport.h"
#include "ReportDataSource.h"
#include "ReportVariables.h"
#include "core/Result.h"

#include <QByteArray>

#include <memory>

namespace sqda::report {

// The file name extension the preview offers for saved reports.
inline constexpr char16_t SavedReportSuffix[] = u"sqdarpt";

// A loaded report: what a ReportPainter, exportListingXlsx or find needs. The rows
// are the stored cells, read by view row as the pages refer to them.
struct SavedReport
{
    std::shared_ptr<const PreparedReport> report;
    std::shared_ptr<const ReportDataSource> rows;
    std::shared_ptr<const ReportVariables> variables;
};

// Writes `report` with its rows from `source` (the view it was formatted on) and
// the `variables` it prints with. The file appears only when complete; a failure
// leaves an existing file as it was.
Status saveReport(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const QString &path);

// Reads a file saveReport() wrote.
Result<SavedReport> loadReport(const QString &path);

// The same in memory: the whole file's bytes, and back.
Result<QByteArray> encodeReport(
    const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables);
Result<SavedReport> decodeReport(QByteArrayView file);

// A file around an uncompressed body, with a correct checksum: lets the fuzz target
// reach the body's reader with bytes of its own.
QByteArray frameReportBody(QByteArrayView body);
// The checksum a file's header carries for the bytes after the header (CRC-32).
quint32 reportChecksum(QByteArrayView payload);

} // namespace sqda::report
