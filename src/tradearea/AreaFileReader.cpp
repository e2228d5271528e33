#include "AreaFileReader.h"

#include "AreaExport.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <zip.h>

#include <cstring>
#include <memory>

namespace sqda::AreaFileReader {

namespace {

constexpr int HeaderSearchRows = 20;

// A cell's text: a view of the file's kept text, or of `owned` when the cell
// has a text of its own (a spreadsheet's value). Moving a cell keeps the view.
struct Cell
{
    QStringView text;
    QString owned;
    bool number = false;
};

bool isCodeTitle(QStringView t)
{
    return t == AreaExport::CodeTitle || t.compare(QLatin1String("f_sqbm"), Qt::CaseInsensitive) == 0;
}

bool isNameTitle(QStringView t)
{
    return t == AreaExport::NameTitle || t.compare(QLatin1String("f_sqmc"), Qt::CaseInsensitive) == 0;
}

Error tooLong(int line)
{
    return Error { QStringLiteral("第%1行有一个单元格超过%2个字符，不像是商圈档案。").arg(line).arg(MaxCellChars) };
}

// Turns the file's rows into import rows: finds the header, then takes the
// code and name columns of every row below it. The rows' views are of the
// file's text, kept with them, or of the cells' own texts, moved there.
class RowCollector
{
public:
    void reserve(size_t rows) { m_rows.reserve(rows); }
    QStringView keep(QString text) { return m_rows.keep(std::move(text)); }
    void keepAll(std::vector<QString> texts) { m_rows.keepAll(std::move(texts)); }

    Status add(int line, std::vector<Cell> &cells)
    {
        if (m_codeColumn < 0) {
            if (++m_rowsBeforeHeader > HeaderSearchRows)
                return noHeader();
            for (size_t c = 0; c < cells.size(); ++c) {
                const QStringView t = cells[c].text.trimmed();
                if (m_codeColumn < 0 && isCodeTitle(t))
                    m_codeColumn = int(c);
                else if (m_nameColumn < 0 && isNameTitle(t))
                    m_nameColumn = int(c);
            }
            if (m_codeColumn >= 0 && m_nameColumn < 0)
                return Error { QStringLiteral("第%1行有“商圈编码”列，却没有“商圈名称”列。").arg(line) };
            if (m_codeColumn < 0)
                m_nameColumn = -1;
            return {};
        }
        Cell none;
        Cell &code = size_t(m_codeColumn) < cells.size() ? cells[size_t(m_codeColumn)] : none;
        Cell &name = size_t(m_nameColumn) < cells.size() ? cells[size_t(m_nameColumn)] : none;
        ImportRow row;
        row.line = line;
        row.code = code.text.trimmed();
        row.name = name.text.trimmed();
        if (row.code.isEmpty() && row.name.isEmpty())
            return {};
        // A cell's own text goes with the rows; the views stay on it.
        for (Cell *c : { &code, &name })
            if (!c->owned.isNull())
                keep(std::move(c->owned));
        if (code.number)
            row.problem
                = QStringLiteral("商圈编码以数字格式保存（%1），开头的0可能已经丢失；请把该列设为文本格式后重新输入")
                      .arg(row.code);
        if (int(m_rows.size()) >= MaxRows)
            return Error { QStringLiteral("文件超过%1行，请分成几个文件导入。").arg(MaxRows) };
        m_rows.add(std::move(row));
        return {};
    }

    Result<ImportRows> finish()
    {
        if (m_codeColumn < 0)
            return noHeader();
        return std::move(m_rows);
    }

private:
    static Error noHeader()
    {
        return Error { QStringLiteral("文件的前%1行里没有“商圈编码”（或f_sqbm）列的标题。").arg(HeaderSearchRows) };
    }

    int m_codeColumn = -1;
    int m_nameColumn = -1;
    int m_rowsBeforeHeader = 0;
    ImportRows m_rows;
};

// CSV ------------------------------------------------------------------------

// The delimiter of the header row: the first of comma, semicolon and tab that
// splits off a code title within the first rows.
QChar detectDelimiter(const QString &text)
{
    qsizetype at = 0;
    for (int line = 0; line < HeaderSearchRows && at < text.size(); ++line) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), at);
        if (end < 0)
            end = text.size();
        const QStringView l = QStringView(text).mid(at, end - at);
        for (QChar d : { QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t') }) {
            for (QStringView piece : l.split(d)) {
                QString t = piece.trimmed().toString();
                if (t.size() >= 2 && t.front() == QLatin1Char('"') && t.back() == QLatin1Char('"'))
                    t = t.mid(1, t.size() - 2).trimmed();
                if (isCodeTitle(t))
                    return d;
            }
        }
        at = end + 1;
    }
    return QLatin1Char(',');
}

// A QXmlStreamReader over one part of the spreadsheet, read whole.
// Zip -------------------------------------------------------------------------

struct ZipCloser
{
    void operator()(zip_t *z) const { zip_discard(z); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

struct ZipFileCloser
{
    void operator()(zip_file_t *f) const { zip_fclose(f); }
};

Error damaged(const QString &what)
{
    return Error { QStringLiteral("Excel文件已损坏（%1），无法读取。").arg(what) };
}

// One part of the archive, unpacked whole; an empty value when it is absent.
Result<QByteArray> readPart(zip_t *archive, const char *name, bool required)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive, name, 0, &st) != 0) {
        if (!required)
            return QByteArray();
        return Error { QStringLiteral("文件不是Excel工作簿：缺少%1。").arg(QString::fromUtf8(name)) };
    }
    if (!(st.valid & ZIP_STAT_SIZE) || st.size > quint64(MaxFileBytes))
        return Error { QStringLiteral("Excel文件的%1解压后过大，不像是商圈档案。").arg(QString::fromUtf8(name)) };
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(archive, name, 0));
    if (!file)
        return damaged(QString::fromUtf8(zip_strerror(archive)));
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const zip_int64_t n = zip_fread(file.get(), bytes.data() + done, zip_uint64_t(bytes.size() - done));
        if (n < 0)
            return damaged(QString::fromUtf8(zip_file_strerror(file.get())));
        if (n == 0)
            break;
        done += n;
    }
    // The check sum is tested once the end of the entry has been read.
    char extra;
    if (done != bytes.size() || zip_fread(file.get(), &extra, 1) != 0)
        return damaged(QString::fromUtf8(zip_file_strerror(file.get())));
    return bytes;
}

Error xmlError(const QXmlStreamReader &xml, const char *part)
{
    return damaged(
        QStringLiteral("%1第%2行：%3").arg(QString::fromUtf8(part)).arg(xml.lineNumber()).arg(xml.errorString()));
}

// The path of the workbook's first sheet, from the workbook and its relations.
QByteArray firstSheetPath(const QByteArray &workbook, const QByteArray &rels)
{
    QString id;
    QXmlStreamReader wb(workbook);
    while (wb.readNextStartElement() || !wb.atEnd()) {
        if (wb.isStartElement() && wb.name() == QLatin1String("sheet")) {
            for (const QXmlStreamAttribute &a : wb.attributes())
                if (a.name() == QLatin1String("id"))
                    id = a.value().toString();
            break;
        }
        if (!wb.isStartElement())
            wb.readNext();
    }
    if (!id.isEmpty()) {
        QXmlStreamReader r(rels);
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement() && r.name() == QLatin1String("Relationship")
                && r.attributes().value(QLatin1String("Id")) == id) {
                QString target = r.attributes().value(QLatin1String("Target")).toString();
                if (target.startsWith(QLatin1Char('/')))
                    return target.mid(1).toUtf8();
                return (QStringLiteral("xl/") + target).toUtf8();
            }
        }
    }
    return QByteArrayLiteral("xl/worksheets/sheet1.xml");
}

// The text of an <si> or <is> element: its <t> texts, phonetic runs left out.
Result<QString> stringItem(QXmlStreamReader &xml, int line)
{
    QString text;
    int depth = 1;
    bool phonetic = false;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == QLatin1String("rPh"))
                phonetic = true;
            else if (xml.name() == QLatin1String("t") && !phonetic) {
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth;
                if (text.size() > MaxCellChars)
                    return tooLong(line);
            }
        } else if (xml.isEndElement()) {
            --depth;
            if (xml.name() == QLatin1String("rPh"))
                phonetic = false;
        }
    }
    return text;
}

Result<std::vector<QString>> sharedStrings(const QByteArray &bytes)
{
    std::vector<QString> out;
    if (bytes.isEmpty())
        return out;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si")) {
            Result<QString> s = stringItem(xml, 0);
            if (!s)
                return Error {
                    QStringLiteral("Excel文件里有一个超过%1个字符的文字，不像是商圈档案。").arg(MaxCellChars)
                };
            out.push_back(std::move(*s));
        }
    }
    if (xml.hasError())
        return xmlError(xml, "xl/sharedStrings.xml");
    return out;
}

// "BC12" -> column 54 (from 0); -1 when the reference has no letters.
int columnOf(QStringView ref)
{
    int col = 0, letters = 0;
    for (QChar c : ref) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z') {
            col = col * 26 + (u - u'A' + 1);
            if (++letters > 3)
                return -1;
        } else {
            break;
        }
    }
    return letters ? col - 1 : -1;
}

// Lines of the text, to reserve the rows: memchr rather than a loop by byte.
size_t lineCount(const QByteArray &bytes)
{
    size_t lines = 1;
    for (const char *p = bytes.constData(), *end = p + bytes.size();
         (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))) != nullptr; ++p)
        ++lines;
    return lines;
}

} // namespace

Result<QString> decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gb("GB18030");
    if (!gb.isValid())
        return Error { QStringLiteral("文件不是UTF-8编码，本机又不能读取GB18030编码。") };
    text = gb(bytes);
    if (gb.hasError())
        return Error { QStringLiteral("文件既不是UTF-8也不是GB18030编码的文本。") };
    return text;
}

Result<ImportRows> readCsv(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return Error { QStringLiteral("文件不是文本文件（CSV），也不是Excel工作簿（.xlsx）。") };
    Result<QString> decoded = decodeText(bytes);
    if (!decoded)
        return Error { decoded.error() };
    const QChar delimiter = detectDelimiter(*decoded);

    RowCollector rows;
    rows.reserve(lineCount(bytes));
    // The text is kept with the rows, whose codes and names are views of it;
    // a quoted field is written back over itself without its quotes.
    QString text = std::move(*decoded);
    QChar *d = text.data(); // not shared: written over below
    const qsizetype n = text.size();
    rows.keep(std::move(text)); // moved, the characters stay where they are
    std::vector<Cell> cells;
    const QChar quote = QLatin1Char('"'), newline = QLatin1Char('\n');
    int line = 1;
    // Record by record; a field is a view of the text.
    for (qsizetype i = 0; i < n;) {
        const int recordLine = line;
        cells.clear();
        for (bool recordEnds = false; !recordEnds;) {
            qsizetype j = i;
            while (j < n && d[j] == QLatin1Char(' '))
                ++j;
            Cell cell;
            if (j < n && d[j] == quote) {
                // RFC 4180: a quoted field, "" for a quote, line breaks inside.
                // The field is written from its opening quote on: never ahead
                // of what is read.
                const qsizetype start = j;
                qsizetype w = start;
                for (++j;; ++j) {
                    if (j >= n)
                        return Error { QStringLiteral("第%1行的引号没有结束。").arg(recordLine) };
                    if (d[j] == quote) {
                        if (j + 1 < n && d[j + 1] == quote) {
                            d[w++] = quote;
                            ++j;
                            continue;
                        }
                        ++j;
                        break;
                    }
                    if (d[j] == newline)
                        ++line;
                    d[w++] = d[j];
                    if (w - start > MaxCellChars)
                        return tooLong(recordLine);
                }
                // Anything between the closing quote and the delimiter is kept.
                qsizetype end = j;
                while (end < n && d[end] != delimiter && d[end] != newline)
                    d[w++] = d[end++];
                if (w > start && d[w - 1] == QLatin1Char('\r'))
                    --w;
                cell.text = QStringView(d + start, w - start);
                j = end;
            } else {
                qsizetype end = i;
                while (end < n && d[end] != delimiter && d[end] != newline)
                    ++end;
                qsizetype stop = end;
                if (stop > i && d[stop - 1] == QLatin1Char('\r') && (end == n || d[end] == newline))
                    --stop;
                if (stop - i > MaxCellChars)
                    return tooLong(recordLine);
                cell.text = QStringView(d + i, stop - i);
                j = end;
            }
            if (cell.text.size() > MaxCellChars)
                return tooLong(recordLine);
            cells.push_back(std::move(cell));
            if (j < n && d[j] == delimiter) {
                i = j + 1;
            } else {
                i = j + 1; // past the line feed, or the end
                ++line;
                recordEnds = true;
            }
        }
        if (Status added = rows.add(recordLine, cells); !added)
            return Error { added.error() };
    }
    return rows.finish();
}

Result<ImportRows> readXlsx(const QString &path)
{
    int zipError = 0;
    ZipPtr archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &zipError));
    if (!archive) {
        if (zipError == ZIP_ER_NOZIP)
            return Error { QStringLiteral("文件不是Excel工作簿（.xlsx）。") };
        zip_error_t e;
        zip_error_init_with_code(&e, zipError);
        const QString why = QString::fromUtf8(zip_error_strerror(&e));
        zip_error_fini(&e);
        return damaged(why);
    }
    Result<QByteArray> workbook = readPart(archive.get(), "xl/workbook.xml", true);
    if (!workbook)
        return Error { workbook.error() };
    Result<QByteArray> rels = readPart(archive.get(), "xl/_rels/workbook.xml.rels", false);
    if (!rels)
        return Error { rels.error() };
    const QByteArray sheetPath = firstSheetPath(*workbook, *rels);
    Result<QByteArray> strings = readPart(archive.get(), "xl/sharedStrings.xml", false);
    if (!strings)
        return Error { strings.error() };
    Result<std::vector<QString>> shared = sharedStrings(*strings);
    if (!shared)
        return Error { shared.error() };
    Result<QByteArray> sheet = readPart(archive.get(), sheetPath.constData(), true);
    if (!sheet)
        return Error { sheet.error() };

    RowCollector rows;
    std::vector<Cell> cells;
    QXmlStreamReader xml(*sheet);
    int line = 0;
    bool inRow = false;
    const auto endRow = [&]() -> Status {
        inRow = false;
        Status added = rows.add(line, cells);
        cells.clear();
        return added;
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("row")) {
            if (Status added = endRow(); !added)
                return Error { added.error() };
            continue;
        }
        if (!xml.isStartElement())
            continue;
        const QStringView name = xml.name();
        if (name == QLatin1String("row")) {
            bool ok = false;
            const int r = xml.attributes().value(QLatin1String("r")).toInt(&ok);
            line = ok && r > line ? r : line + 1;
            inRow = true;
        } else if (name == QLatin1String("mergeCell")) {
            return Error { QStringLiteral("工作表里有合并的单元格（%1），请取消合并后再导入。")
                               .arg(xml.attributes().value(QLatin1String("ref"))) };
        } else if (name == QLatin1String("c") && inRow) {
            const QXmlStreamAttributes attrs = xml.attributes();
            const QStringView ref = attrs.value(QLatin1String("r"));
            const QStringView type = attrs.value(QLatin1String("t"));
            int col = ref.isEmpty() ? int(cells.size()) : columnOf(ref);
            if (col < 0 || col >= 16384)
                return damaged(QStringLiteral("单元格%1").arg(ref));
            Cell cell;
            QString value;
            bool hasValue = false;
            // The cell's children: the value, an inline string or a formula.
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isEndElement() && xml.name() == QLatin1String("c"))
                    break;
                if (!xml.isStartElement())
                    continue;
                if (xml.name() == QLatin1String("f"))
                    return Error { QStringLiteral("第%1行有公式（单元格%2），请把公式换成数值后再导入。")
                                       .arg(line)
                                       .arg(ref.isEmpty() ? QString::number(col + 1) : ref.toString()) };
                if (xml.name() == QLatin1String("v")) {
                    value = xml.readElementText();
                    hasValue = true;
                    if (value.size() > MaxCellChars)
                        return tooLong(line);
                } else if (xml.name() == QLatin1String("is")) {
                    Result<QString> s = stringItem(xml, line);
                    if (!s)
                        return Error { s.error() };
                    value = std::move(*s);
                    hasValue = true;
                }
            }
            if (hasValue) {
                if (type == QLatin1String("s")) {
                    bool ok = false;
                    const qsizetype index = value.toLongLong(&ok);
                    if (!ok || index < 0 || size_t(index) >= shared->size())
                        return damaged(QStringLiteral("单元格%1引用的文字不存在").arg(ref));
                    // The shared strings are kept with the rows.
                    cell.text = (*shared)[size_t(index)];
                } else if (type == QLatin1String("inlineStr") || type == QLatin1String("str")
                    || type == QLatin1String("e")) {
                    cell.owned = std::move(value);
                } else if (type == QLatin1String("b")) {
                    cell.owned = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                } else {
                    cell.owned = std::move(value);
                    cell.number = true;
                }
                if (type != QLatin1String("s"))
                    cell.text = cell.owned;
                if (size_t(col) >= cells.size())
                    cells.resize(size_t(col) + 1);
                cells[size_t(col)] = std::move(cell);
            }
        }
    }
    if (xml.hasError())
        return xmlError(xml, sheetPath.constData());
    if (inRow)
        return damaged(QStringLiteral("工作表没有结束"));
    rows.keepAll(std::move(*shared)); // the cells' views of them stay valid
    return rows.finish();
}

Result<ImportRows> read(const QString &path)
{
    const QString shown = QFileInfo(path).fileName();
    const auto failed
        = [&](const QString &why) { return Error { QStringLiteral("无法导入文件“%1”：%2").arg(shown, why) }; };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("文件打不开（%1）。").arg(file.errorString()));
    if (file.size() > MaxFileBytes)
        return failed(QStringLiteral("文件超过%1 MB，不像是商圈档案。").arg(MaxFileBytes / (1024 * 1024)));
    const QByteArray head = file.peek(8);
    Result<ImportRows> rows = Error {};
    if (head.startsWith("PK")) {
        file.close();
        rows = readXlsx(path);
    } else if (head.startsWith("\xD0\xCF\x11\xE0")) {
        return failed(QStringLiteral("这是旧的Excel格式（.xls），请在Excel里另存为.xlsx或CSV后再导入。"));
    } else if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        return failed(QStringLiteral("文件不是Excel工作簿（.xlsx）。"));
    } else {
        rows = readCsv(file.readAll());
    }
    if (!rows)
        return failed(rows.error());
    return rows;
}

} // namespace sqda::AreaFileReader
