// Reads the rows of a trade-area file for the import: a spreadsheet (.xlsx,
// its first sheet) or CSV text (UTF-8 with or without a byte-order mark, or
// GB18030; comma, semicolon or tab, whichever the header row uses).
//
// The columns are found by the header row, the first row (of the first 20)
// that has a cell "商圈编码" or "f_sqbm": the code column, and the name column
// "商圈名称" or "f_sqmc", in any order; other columns are ignored, as are rows
// above the header and rows whose code and name are both empty.
//
// A file it cannot read whole is an error naming what is wrong, and no rows:
// not a spreadsheet, a damaged zip, no code or name column, more rows than
// MaxRows, a cell longer than MaxCellChars, formulas, merged cells.
#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace sqda {

struct ImportRow
{
    int line = 0; // the row's number in the file, from 1, as a spreadsheet program shows it
    QString code;
    QString name;
    QString problem; // set when the row cannot be taken as it is (a code stored as a number)
};

namespace AreaFileReader {

constexpr int MaxRows = 200000;
constexpr int MaxCellChars = 4096;
constexpr qint64 MaxFileBytes = 256LL * 1024 * 1024; // a file, or one part of a spreadsheet unpacked

// By the file's content, not its name: a zip is read as a spreadsheet.
Result<std::vector<ImportRow>> read(const QString &path);
Result<std::vector<ImportRow>> readCsv(const QByteArray &bytes);
Result<std::vector<ImportRow>> readXlsx(const QString &path);

// CSV text of unknown encoding as text: a UTF-8 byte-order mark, else strict
// UTF-8, else GB18030.
Result<QString> decodeText(const QByteArray &bytes);

} // namespace AreaFileReader

} // namespace sqda
