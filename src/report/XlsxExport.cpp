#include "XlsxExport.h"

#include "ObjectText.h"
#include "XlsxFile.h"

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
    // complete, so a failure leaves no half-written file and an existing one as it was.
    XlsxFile file;
    if (const Status opened = file.open(path); !opened)
        return failed(opened.error());

    lxw_worksheet *sheet = file.addSheet(variables.value(u"Title").trimmed().toUtf8());
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
            keep(worksheet_write_string(sheet, row, col, XlsxFile::cellText(text).constData(), nullptr));
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
            return failed(XlsxFile::libraryProblem(error));
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
        return failed(XlsxFile::libraryProblem(error));
    if (progress && !progress(total, total))
        return Error { QStringLiteral("已取消写入Excel文件“%1”。").arg(shown) };

    if (const Status written = file.commit(); !written)
        return failed(written.error());
    return {};
}

} // namespace sqda::report
