#include "AreaExport.h"

#include "TradeAreaTreeBuilder.h"

#include "data/DataStore.h"
#include "report/FileProblems.h"
#include "report/XlsxFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace sqda::AreaExport {

namespace {

constexpr int ProgressEvery = 4096;

QString leafText(bool leaf)
{
    return leaf ? QStringLiteral("是") : QStringLiteral("否");
}

QString cancelled(const QString &path)
{
    return QStringLiteral("已取消写入文件“%1”。").arg(QFileInfo(path).fileName());
}

} // namespace

Result<std::vector<AreaLine>> linesInTreeOrder(const DataStore &store)
{
    Result<TradeAreaTreeBuilder::Rows> rows = TradeAreaTreeBuilder::readRows(store);
    if (!rows)
        return Error { rows.error() };
    const std::vector<std::int32_t> placements = TradeAreaTreeBuilder::place(rows->levels);
    int leafColumn = -1;
    for (int c = 0; c < store.defs().size(); ++c)
        if (store.defs()[c].name.compare(QLatin1String("f_mj"), Qt::CaseInsensitive) == 0)
            leafColumn = c;

    const size_t n = placements.size();
    std::vector<std::vector<std::int32_t>> children(n);
    std::vector<std::int32_t> underRoot, beside, unshown;
    for (size_t i = 0; i < n; ++i) {
        const std::int32_t p = placements[i];
        if (p >= 0)
            children[size_t(p)].push_back(std::int32_t(i));
        else if (p == TradeAreaTreeBuilder::UnderRoot)
            underRoot.push_back(std::int32_t(i));
        else if (p == TradeAreaTreeBuilder::TopLevel)
            beside.push_back(std::int32_t(i));
        else
            unshown.push_back(std::int32_t(i));
    }

    std::vector<AreaLine> out;
    out.reserve(n);
    const auto line = [&](std::int32_t row, int depth) {
        AreaLine l;
        l.code = rows->codes[size_t(row)];
        l.name = rows->texts[size_t(row)].mid(l.code.size() + 1);
        l.level = rows->levels[size_t(row)];
        l.leaf = leafColumn >= 0 && !store.isNull(row, leafColumn) && store.value(row, leafColumn).toInt() == 1;
        l.depth = depth;
        out.push_back(std::move(l));
    };
    // Depth first without recursion: twelve levels at most, but a host may send anything.
    const auto walk = [&](const std::vector<std::int32_t> &tops, int firstDepth) {
        std::vector<std::pair<std::int32_t, int>> stack;
        for (auto it = tops.rbegin(); it != tops.rend(); ++it)
            stack.emplace_back(*it, firstDepth);
        while (!stack.empty()) {
            const auto [row, depth] = stack.back();
            stack.pop_back();
            line(row, depth);
            const auto &kids = children[size_t(row)];
            for (auto it = kids.rbegin(); it != kids.rend(); ++it)
                stack.emplace_back(*it, depth + 1);
        }
    };
    walk(underRoot, 1);
    walk(beside, 0);
    for (std::int32_t row : unshown)
        line(row, 0);
    return out;
}

QString csvField(const QString &text)
{
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char(';'))
        || text.contains(QLatin1Char('\t')) || (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()));
    if (!quote)
        return text;
    QString out = text;
    out.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

Status writeCsv(const AreaSheet &sheet, const QString &path, const Progress &progress)
{
    const QString shown = QFileInfo(path).fileName();
    const auto failed
        = [&](const QString &why) { return Error { QStringLiteral("无法写入文件“%1”：%2").arg(shown, why) }; };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(report::writeProblem(path, 0, file.errorString()));

    QString text;
    const auto flush = [&] {
        const QByteArray bytes = text.toUtf8();
        text.clear();
        return file.write(bytes) == bytes.size();
    };
    text += QChar(0xFEFF); // a spreadsheet program reads the file as UTF-8 only with it
    // The import looks for the header row, so this line cannot break it.
    text += csvField(QStringLiteral("部门编码：%1  商圈分级情况：%2").arg(sheet.department, sheet.codeLevels));
    text += QLatin1String("\r\n");
    text += CodeTitle + QLatin1Char(',') + NameTitle + QLatin1Char(',') + LevelTitle + QLatin1Char(',') + LeafTitle
        + QLatin1String("\r\n");
    const int total = int(sheet.areas.size());
    for (int i = 0; i < total; ++i) {
        const AreaLine &a = sheet.areas[size_t(i)];
        text += csvField(a.code) + QLatin1Char(',') + csvField(a.name) + QLatin1Char(',') + QString::number(a.level)
            + QLatin1Char(',') + leafText(a.leaf) + QLatin1String("\r\n");
        if ((i + 1) % ProgressEvery == 0) {
            if (!flush())
                return failed(report::writeProblem(path, 0, file.errorString()));
            if (progress && !progress(i + 1, total))
                return Error { cancelled(path) }; // QSaveFile discards what it holds
        }
    }
    if (!flush())
        return failed(report::writeProblem(path, 0, file.errorString()));
    if (progress && !progress(total, total))
        return Error { cancelled(path) };
    if (!file.commit())
        return failed(report::writeProblem(path, 0, file.errorString()));
    return {};
}

Status writeXlsx(const AreaSheet &sheet, const QString &path, const Progress &progress)
{
    const QString shown = QFileInfo(path).fileName();
    const auto failed
        = [&](const QString &why) { return Error { QStringLiteral("无法写入Excel文件“%1”：%2").arg(shown, why) }; };
    if (sheet.areas.size() + 4 > size_t(LXW_ROW_MAX))
        return failed(QStringLiteral("%1行超出了一个工作表的容量。").arg(sheet.areas.size()));
    report::XlsxFile file;
    if (const Status opened = file.open(path); !opened)
        return failed(opened.error());
    lxw_worksheet *ws = file.addSheet(QByteArrayLiteral("商圈档案"));
    if (!ws)
        return failed(QStringLiteral("无法创建工作表。"));
    worksheet_set_column_pixels(ws, 0, 0, 110, nullptr);
    worksheet_set_column_pixels(ws, 1, 1, 260, nullptr);
    worksheet_set_column_pixels(ws, 2, 3, 50, nullptr);

    lxw_error error = LXW_NO_ERROR;
    const auto keep = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && error == LXW_NO_ERROR)
            error = e;
    };
    // Codes and names go as strings whatever they look like.
    const auto text = [&](lxw_row_t r, lxw_col_t c, const QString &s) {
        if (!s.isEmpty())
            keep(worksheet_write_string(ws, r, c, report::XlsxFile::cellText(s).constData(), nullptr));
    };
    text(0, 0, QStringLiteral("部门编码"));
    text(0, 1, sheet.department);
    text(1, 0, QStringLiteral("商圈分级情况"));
    text(1, 1, sheet.codeLevels);
    lxw_row_t row = 3;
    text(row, 0, CodeTitle);
    text(row, 1, NameTitle);
    text(row, 2, LevelTitle);
    text(row, 3, LeafTitle);
    ++row;
    const int total = int(sheet.areas.size());
    for (int i = 0; i < total; ++i, ++row) {
        const AreaLine &a = sheet.areas[size_t(i)];
        text(row, 0, a.code);
        text(row, 1, a.name);
        keep(worksheet_write_number(ws, row, 2, a.level, nullptr));
        text(row, 3, leafText(a.leaf));
        if ((i + 1) % ProgressEvery == 0) {
            if (error != LXW_NO_ERROR)
                return failed(report::XlsxFile::libraryProblem(error));
            if (progress && !progress(i + 1, total))
                return Error { cancelled(path) };
        }
    }
    if (error != LXW_NO_ERROR)
        return failed(report::XlsxFile::libraryProblem(error));
    if (progress && !progress(total, total))
        return Error { cancelled(path) };
    if (const Status written = file.commit(); !written)
        return failed(written.error());
    return {};
}

} // namespace sqda::AreaExport
