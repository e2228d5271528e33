#include "XlsxExport.h"

#include "FileProblems.h"

#include "ObjectText.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

namespace sqda::report {

namespace {

// Excel keeps at most this many characters in a cell; longer texts are cut there
// rather than failing the whole export.
constexpr int MaxCellChars = 32767;
// Integers beyond 2^53 lose digits as a spreadsheet number; they go as text.
constexpr qint64 MaxExactInteger = qint64(1) << 53;
constexpr int ProgressEvery = 4096;

// One column of the sheet: the printed cells that make it, from one page set.
struct SheetColumn
{
    const ReportObject *data = nullptr;
    const ReportObject *title = nullptr;
    std::vector<const ReportObject *> footers; // per footer row; null where none
    int width = 0;
};

struct Table
{
    std::vector<SheetColumn> columns;
    bool hasTitles = false;
    int footerRows = 0;
};

// Reads the table out of the layout: the data band's cells give the columns, the
// title and master-footer cells at the same x give their titles and footers.
Table tableOf(const ReportLayout &layout)
{
    Table table;
    std::vector<int> footerYs; // distinct footer-row tops, over every page set
    for (const LayoutPage &set : layout.pages)
        for (const Band &band : set.bands)
            if (band.kind == BandKind::MasterFooter && band.visible)
                for (const ReportObject &o : band.objects)
                    footerYs.push_back(o.rect.y());
    std::sort(footerYs.begin(), footerYs.end());
    footerYs.erase(std::unique(footerYs.begin(), footerYs.end()), footerYs.end());
    table.footerRows = int(footerYs.size());

    for (const LayoutPage &set : layout.pages) {
        // Bands are looked up whether shown or not: later page sets hide the title
        // band, but it still holds their column titles.
        const auto bandOf = [&](BandKind kind) -> const Band * {
            for (const Band &b : set.bands)
                if (b.kind == kind)
                    return &b;
            return nullptr;
        };
        const Band *data = bandOf(BandKind::MasterData);
        if (!data)
            continue;
        const Band *title = bandOf(BandKind::Title);
        const Band *footer = bandOf(BandKind::MasterFooter);
        std::vector<const ReportObject *> cells;
        for (const ReportObject &o : data->objects)
            cells.push_back(&o);
        std::stable_sort(cells.begin(), cells.end(),
            [](const ReportObject *a, const ReportObject *b) { return a->rect.x() < b->rect.x(); });
        for (const ReportObject *cell : cells) {
            SheetColumn c;
            c.data = cell;
            c.width = cell->rect.width();
            c.footers.assign(footerYs.size(), nullptr);
            if (title)
                for (const ReportObject &o : title->objects)
                    if (o.kind == ObjectKind::Text && o.rect.x() == cell->rect.x()) {
                        c.title = &o;
                        table.hasTitles = true;
                    }
            if (footer && footer->visible)
                for (const ReportObject &o : footer->objects)
                    if (o.rect.x() == cell->rect.x()) {
                        const auto at = std::lower_bound(footerYs.begin(), footerYs.end(), o.rect.y());
                        c.footers[size_t(at - footerYs.begin())] = &o;
                    }
            table.columns.push_back(std::move(c));
        }
    }
    return table;
}

// Frees a workbook that was not closed (a failure or a cancel). The library's
// free leaves each constant-memory worksheet's row file open, an unlinked file
// that would hold its descriptor and disk space until the program ends.
struct WorkbookDeleter
{
    void operator()(lxw_workbook *w) const
    {
        lxw_worksheet *sheet = nullptr;
        LXW_FOREACH_WORKSHEET(sheet, w)
        {
            if (sheet->optimize_tmpfile) {
                std::fclose(sheet->optimize_tmpfile);
                sheet->optimize_tmpfile = nullptr;
            }
        }
        lxw_workbook_free(w);
    }
};

// libxlsxwriter's own texts are English: the usual causes in Chinese, its text
// in brackets for the rest.
QString libraryProblem(lxw_error error)
{
    switch (error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("内存不足。");
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
        return QStringLiteral("无法创建文件。");
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("无法读取临时文件。");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("写入压缩文件出错，磁盘可能已满。");
    default:
        return QStringLiteral("Excel文件库出错（%1）。").arg(QString::fromUtf8(lxw_strerror(error)));
    }
}

QString DiskFull()
{
    return QStringLiteral("工作表没能完整写出，磁盘可能已满。");
}

quint64 le(const QByteArray &bytes, qsizetype at, int size)
{
    quint64 v = 0;
    for (int i = 0; i < size; ++i)
        v |= quint64(quint8(bytes.at(at + i))) << (8 * i);
    return v;
}

// The uncompressed size of entry `name` in the zip file at `path`, from its
// central directory; -1 when the file is not a complete zip or lacks the entry.
// The library writes no archive comment, so the directory's end record is the
// file's last 22 bytes.
qint64 zipEntrySize(const QString &path, const QByteArray &name)
{
    QFile zip(path);
    if (!zip.open(QIODevice::ReadOnly) || zip.size() < 22 || !zip.seek(zip.size() - 22))
        return -1;
    const QByteArray end = zip.read(22);
    if (end.size() != 22 || le(end, 0, 4) != 0x06054b50)
        return -1;
    const qint64 dirSize = qint64(le(end, 12, 4)), dirOffset = qint64(le(end, 16, 4));
    if (dirOffset + dirSize > zip.size() - 22 || !zip.seek(dirOffset))
        return -1;
    const QByteArray dir = zip.read(dirSize);
    for (qsizetype at = 0; at + 46 <= dir.size() && le(dir, at, 4) == 0x02014b50;) {
        const qsizetype nameLength = qsizetype(le(dir, at + 28, 2));
        const qsizetype next = at + 46 + nameLength + qsizetype(le(dir, at + 30, 2)) + qsizetype(le(dir, at + 32, 2));
        if (next > dir.size())
            return -1;
        if (dir.mid(at + 46, nameLength) == name)
            return qint64(le(dir, at + 24, 4));
        at = next;
    }
    return -1;
}

QByteArray cellText(const QString &text)
{
    if (text.size() <= MaxCellChars)
        return text.toUtf8();
    int cut = MaxCellChars;
    if (text.at(cut - 1).isHighSurrogate())
        --cut; // never split a character in two
    return text.left(cut).toUtf8();
}

} // namespace

Status exportListingXlsx(const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables,
    const QString &path, const std::function<bool(int, int)> &progress)
{
    const QFileInfo target(path);
    const QString shown = target.fileName();
    const auto failed
        = [&](const QString &why) { return Error { QStringLiteral("无法写入Excel文件“%1”：%2").arg(shown, why) }; };
    if (shown.isEmpty())
        return Error { QStringLiteral("没有给出Excel文件的文件名。") };
    if (source.rowCount() != report.rowCount())
        return failed(QStringLiteral("生成报表以后数据行有了变化（当时%1行，现在%2行）。")
                          .arg(report.rowCount())
                          .arg(source.rowCount()));

    const Table table = tableOf(report.layout());
    const qint64 sheetRows = qint64(table.hasTitles) + report.rowCount() + table.footerRows;
    if (sheetRows > LXW_ROW_MAX)
        return failed(QStringLiteral("%1行超出了一个工作表的容量（最多%2行）。").arg(sheetRows).arg(LXW_ROW_MAX));
    if (table.columns.size() > size_t(LXW_COL_MAX))
        return failed(
            QStringLiteral("%1列超出了一个工作表的容量（最多%2列）。").arg(table.columns.size()).arg(LXW_COL_MAX));

    // Written beside the target under a name of its own and renamed over it when
    // complete, so a failure leaves no half-written file and an existing one as it
    // was. The library's own row files go there too, not into a /tmp that may be
    // memory.
    QTemporaryFile file(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(shown)));
    if (!file.open())
        return failed(writeProblem(path, 0, file.errorString()));
    file.close(); // the name is reserved; the library writes the file itself
    const QByteArray tempName = QFile::encodeName(file.fileName());
    QByteArray tmpDir = QFile::encodeName(target.absolutePath());

    lxw_workbook_options options {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpDir.data();
    std::unique_ptr<lxw_workbook, WorkbookDeleter> workbook(workbook_new_opt(tempName.constData(), &options));
    if (!workbook)
        return failed(QStringLiteral("无法创建工作簿。"));

    QByteArray sheetName = variables.value(u"Title").trimmed().toUtf8();
    if (sheetName.isEmpty() || workbook_validate_sheet_name(workbook.get(), sheetName.constData()) != LXW_NO_ERROR)
        sheetName = QByteArrayLiteral("Sheet1");
    lxw_worksheet *sheet = workbook_add_worksheet(workbook.get(), sheetName.constData());
    if (!sheet)
        return failed(QStringLiteral("无法创建工作表。"));

    for (size_t c = 0; c < table.columns.size(); ++c)
        worksheet_set_column_pixels(sheet, lxw_col_t(c), lxw_col_t(c), std::max(0, table.columns[c].width), nullptr);

    const ObjectText texts(source, variables);
    const PageNumbers numbers = report.numbers(0);
    lxw_error error = LXW_NO_ERROR;
    const auto keep = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && error == LXW_NO_ERROR)
            error = e;
    };
    const auto writeText = [&](lxw_row_t row, lxw_col_t col, const QString &text) {
        if (!text.isEmpty())
            keep(worksheet_write_string(sheet, row, col, cellText(text).constData(), nullptr));
    };

    lxw_row_t row = 0;
    if (table.hasTitles) {
        for (size_t c = 0; c < table.columns.size(); ++c)
            if (const ReportObject *title = table.columns[c].title)
                writeText(row, lxw_col_t(c), texts.text(*title, -1, numbers));
        ++row;
    }

    const int total = report.rowCount();
    for (int r = 0; r < total; ++r, ++row) {
        for (size_t c = 0; c < table.columns.size(); ++c) {
            const ReportObject &cell = *table.columns[c].data;
            const lxw_col_t col = lxw_col_t(c);
            if (cell.kind == ObjectKind::CheckBox) {
                keep(worksheet_write_boolean(sheet, row, col, texts.ticked(cell, r), nullptr));
                continue;
            }
            if (cell.kind != ObjectKind::DataField) {
                writeText(row, col, texts.text(cell, r, numbers));
                continue;
            }
            const QVariant value = source.value(r, cell.column);
            switch (value.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
                keep(worksheet_write_number(sheet, row, col, value.toDouble(), nullptr));
                continue;
            case QMetaType::LongLong:
            case QMetaType::Long:
                if (const qint64 v = value.toLongLong(); v > -MaxExactInteger && v < MaxExactInteger) {
                    keep(worksheet_write_number(sheet, row, col, double(v), nullptr));
                    continue;
                }
                break;
            case QMetaType::ULongLong:
            case QMetaType::ULong:
                if (const quint64 v = value.toULongLong(); v < quint64(MaxExactInteger)) {
                    keep(worksheet_write_number(sheet, row, col, double(v), nullptr));
                    continue;
                }
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                if (const double v = value.toDouble(); std::isfinite(v)) {
                    keep(worksheet_write_number(sheet, row, col, v, nullptr));
                    continue;
                }
                break;
            default:
                break;
            }
            writeText(row, col, texts.text(cell, r, numbers));
        }
        if (error != LXW_NO_ERROR)
            return failed(libraryProblem(error));
        if (progress && (r + 1) % ProgressEvery == 0 && !progress(r + 1, total))
            return Error { QStringLiteral("已取消写入Excel文件“%1”。").arg(shown) };
    }

    for (int f = 0; f < table.footerRows; ++f, ++row) {
        for (size_t c = 0; c < table.columns.size(); ++c) {
            const ReportObject *cell = table.columns[c].footers[size_t(f)];
            if (!cell)
                continue;
            const QString text = texts.text(*cell, -1, numbers);
            bool isNumber = false;
            const double v = text.toDouble(&isNumber);
            if (cell->kind == ObjectKind::Aggregate && isNumber && std::isfinite(v))
                keep(worksheet_write_number(sheet, row, lxw_col_t(c), v, nullptr));
            else
                writeText(row, lxw_col_t(c), text);
        }
    }
    if (error != LXW_NO_ERROR)
        return failed(libraryProblem(error));
    if (progress && !progress(total, total))
        return Error { QStringLiteral("已取消写入Excel文件“%1”。").arg(shown) };

    // The library does not look at the result of writing its row file, nor of
    // copying it into the sheet's XML when closing: on a full disk it made a
    // sheet cut short and reported success. Its buffered rows are flushed here,
    // a write error is the export's failure, and after closing the sheet in the
    // file must be at least as long as the row file was.
    qint64 rowBytes = 0;
    lxw_worksheet *ws = nullptr;
    LXW_FOREACH_WORKSHEET(ws, workbook.get())
    {
        if (!ws->optimize_tmpfile)
            continue;
        errno = 0;
        if (std::fflush(ws->optimize_tmpfile) != 0 || std::ferror(ws->optimize_tmpfile))
            return failed(errno ? systemErrorText(errno) : DiskFull());
        rowBytes += std::max<qint64>(0, std::ftell(ws->optimize_tmpfile));
    }

    // workbook_close writes the file and frees the workbook whatever the outcome.
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR)
        return failed(libraryProblem(closed));
    if (zipEntrySize(file.fileName(), "xl/worksheets/sheet1.xml") < rowBytes)
        return failed(DiskFull());
    QFile::setPermissions(file.fileName(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (std::rename(tempName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
        return failed(systemErrorText(errno));
    file.setAutoRemove(false);
    return {};
}

} // namespace sqda::report
