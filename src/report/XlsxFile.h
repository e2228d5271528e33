// One .xlsx file written through libxlsxwriter in constant-memory mode, so that
// it appears complete or not at all: the workbook goes to a name of its own
// beside the target and is renamed over it only after the library has closed
// it and the sheets are checked to be whole. A failure or an early end leaves
// no file behind and an existing one as it was.
//
// The library's own texts are English; the problems returned here are Chinese
// sentences to follow a message that names the file.
#pragma once

#include "core/Result.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <memory>

namespace sqda::report {

class XlsxFile
{
public:
    XlsxFile() = default;
    ~XlsxFile();
    XlsxFile(const XlsxFile &) = delete;
    XlsxFile &operator=(const XlsxFile &) = delete;

    // Reserves the name beside `path` and opens the workbook.
    Status open(const QString &path);
    lxw_workbook *workbook() const { return m_workbook.get(); }
    // A worksheet named `name` when that is a valid sheet name, else "Sheet1".
    lxw_worksheet *addSheet(const QByteArray &name);

    // A cell's text as the library takes it, cut at the longest text a cell holds.
    static QByteArray cellText(const QString &text);
    static QString libraryProblem(lxw_error error);

    // Writes the workbook out and puts it in place of the target.
    Status commit();

private:
    struct WorkbookDeleter
    {
        void operator()(lxw_workbook *w) const;
    };

    QFileInfo m_target;
    QTemporaryFile m_file;
    QByteArray m_tempName;
    QByteArray m_tmpDir;
    std::unique_ptr<lxw_workbook, WorkbookDeleter> m_workbook;
};

} // namespace sqda::report
