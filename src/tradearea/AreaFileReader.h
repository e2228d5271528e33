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
#include <QStringView>

#include <vector>

namespace sqda {

struct ImportRow
{
    int line = 0; // the row's number in the file, from 1, as a spreadsheet program shows it
    // Views of the text kept by the ImportRows that holds the row: a file of a
    // hundred thousand rows is read without a string of its own per cell.
    QStringView code;
    QStringView name;
    QString problem; // set when the row cannot be taken as it is (a code stored as a number)
};

// The rows of a file and the texts their codes and names are views of. A copy
// shares the texts, so the views of either stay valid while either lives.
class ImportRows
{
public:
    size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    const ImportRow &operator[](size_t i) const { return m_rows[i]; }
    std::vector<ImportRow>::const_iterator begin() const { return m_rows.begin(); }
    std::vector<ImportRow>::const_iterator end() const { return m_rows.end(); }

    void reserve(size_t rows) { m_rows.reserve(rows); }
    // Keeps `text` for the rows' views and returns a view of the kept text.
    QStringView keep(QString text)
    {
        m_texts.push_back(std::move(text));
        return m_texts.back();
    }
    void keepAll(std::vector<QString> texts)
    {
        m_texts.insert(m_texts.end(), std::make_move_iterator(texts.begin()), std::make_move_iterator(texts.end()));
    }
    // A row whose views are of texts kept here.
    void add(ImportRow row) { m_rows.push_back(std::move(row)); }
    // A row with texts of its own, kept here (files made by a program, not read).
    void add(int line, QString code, QString name)
    {
        const QStringView c = keep(std::move(code)), n = keep(std::move(name));
        m_rows.push_back({ line, c, n, {} });
    }

private:
    // Strings move within the vector without their texts moving.
    std::vector<QString> m_texts;
    std::vector<ImportRow> m_rows;
};

namespace AreaFileReader {

constexpr int MaxRows = 200000;
constexpr int MaxCellChars = 4096;
constexpr qint64 MaxFileBytes = 256LL * 1024 * 1024; // a file, or one part of a spreadsheet unpacked

// By the file's content, not its name: a zip is read as a spreadsheet.
Result<ImportRows> read(const QString &path);
Result<ImportRows> readCsv(const QByteArray &bytes);
Result<ImportRows> readXlsx(const QString &path);

// CSV text of unknown encoding as text: a UTF-8 byte-order mark, else strict
// UTF-8, else GB18030.
Result<QString> decodeText(const QByteArray &bytes);

} // namespace AreaFileReader

} // namespace sqda
