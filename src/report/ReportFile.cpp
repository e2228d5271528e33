#include "ReportFile.h"

#include "FileProblems.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

namespace sqda::report {

namespace {

// The file: a 20-byte header, then the body compressed (qCompress: 4-byte
// big-endian body size, then a zlib stream). See docs/report-engine.md.
constexpr char Magic[8] = { 'S', 'Q', 'D', 'A', 'R', 'P', 'T', '\x1a' };
constexpr quint16 Version = 1;
constexpr qsizetype HeaderSize = 20;
// A body above this is refused before anything is allocated for it: a listing of
// a million rows stays far below, and zlib cannot expand data more than ~1032 times.
constexpr qint64 MaxBody = qint64(1) << 30;
constexpr qint64 MaxExpansion = 1032;
constexpr int MaxSize = 32767; // a layout's sizes, as buildGridReport allows them

// Cell tags: the kind of value, and a bit for a display text that differs from the
// value's plain form.
enum CellTag : quint8 {
    CellNull = 0,
    CellString = 1,
    CellInteger = 2,
    CellReal = 3,
    CellFalse = 4,
    CellTrue = 5,
    CellOther = 6, // a value kept as its text (dates and the like)
    CellOwnText = 0x80,
};

const std::array<quint32, 256> &crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

// CRC-32 as zip and PNG use it.
quint32 crc32(QByteArrayView bytes)
{
    const auto &table = crcTable();
    quint32 c = 0xFFFFFFFFu;
    for (const char ch : bytes)
        c = table[(c ^ quint8(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putLe(QByteArray &out, quint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char(v >> (8 * i)));
}

quint64 getLe(const char *p, int bytes)
{
    quint64 v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= quint64(quint8(p[i])) << (8 * i);
    return v;
}

class Writer
{
public:
    QByteArray out;

    void byte(quint8 v) { out.append(char(v)); }
    void varint(quint64 v)
    {
        while (v >= 0x80) {
            out.append(char(v | 0x80));
            v >>= 7;
        }
        out.append(char(v));
    }
    void integer(qint64 v) { varint((quint64(v) << 1) ^ quint64(v >> 63)); }
    void real(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        putLe(out, bits, 8);
    }
    void string(const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        varint(quint64(utf8.size()));
        out.append(utf8);
    }
};

// Reads the body. The first fault stops it: later reads return zeros, and the
// caller asks ok() at the end of each part.
class Reader
{
public:
    Reader(const char *begin, const char *end)
        : m_begin(begin)
        , m_p(begin)
        , m_end(end)
    {
    }

    bool ok() const { return m_why.isEmpty(); }
    QString why() const { return m_why; }
    void fail(const QString &why)
    {
        if (m_why.isEmpty())
            m_why = why;
        m_p = m_end;
    }
    qsizetype offset() const { return m_p - m_begin; }
    qsizetype left() const { return m_end - m_p; }
    bool atEnd() const { return m_p == m_end; }

    quint8 byte()
    {
        if (m_p == m_end) {
            fail(QStringLiteral("文件提前结束"));
            return 0;
        }
        return quint8(*m_p++);
    }
    quint64 varint()
    {
        quint64 v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const quint8 b = byte();
            if (!ok())
                return 0;
            if (shift == 63 && b > 1)
                break;
            v |= quint64(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
        }
        fail(QStringLiteral("有一个数字太长"));
        return 0;
    }
    qint64 integer()
    {
        const quint64 z = varint();
        return qint64(z >> 1) ^ -qint64(z & 1);
    }
    // A signed number that must lie in lo…hi.
    int bounded(qint64 lo, qint64 hi, const char *what)
    {
        const qint64 v = integer();
        if (v < lo || v > hi) {
            fail(QStringLiteral("%1%2不在%3…%4之内").arg(QString::fromUtf8(what)).arg(v).arg(lo).arg(hi));
            return int(lo);
        }
        return int(v);
    }
    // An unsigned number that must be at most `hi`.
    quint64 atMost(quint64 hi, const char *what)
    {
        const quint64 v = varint();
        if (v > hi) {
            fail(QStringLiteral("%1%2大于%3").arg(QString::fromUtf8(what)).arg(v).arg(hi));
            return 0;
        }
        return v;
    }
    // A byte that must be at most `max` (an enum's last value).
    quint8 small(quint8 max, const char *what)
    {
        const quint8 v = byte();
        if (v > max)
            fail(QStringLiteral("未知的%1%2").arg(QString::fromUtf8(what)).arg(v));
        return v > max ? 0 : v;
    }
    bool flag() { return small(1, "标志") != 0; }
    double real()
    {
        if (left() < 8) {
            fail(QStringLiteral("文件提前结束"));
            return 0;
        }
        const quint64 bits = getLe(m_p, 8);
        m_p += 8;
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    QString string()
    {
        const quint64 size = varint();
        if (size > quint64(left())) {
            fail(QStringLiteral("有一段文字超出了文件末尾"));
            return {};
        }
        const QString s = QString::fromUtf8(m_p, qsizetype(size));
        m_p += size;
        return s;
    }
    // A count of items each at least `minBytes` long: never more than what is left
    // of the body can hold, so nothing is allocated for items that are not there.
    size_t count(qsizetype minBytes, const char *what)
    {
        const quint64 n = varint();
        if (n > quint64(left() / std::max<qsizetype>(minBytes, 1)) || n > quint64(std::numeric_limits<int>::max())) {
            fail(QStringLiteral("%1个%2在文件里放不下").arg(n).arg(QString::fromUtf8(what)));
            return 0;
        }
        return size_t(n);
    }

private:
    const char *m_begin;
    const char *m_p;
    const char *m_end;
    QString m_why;
};

// The stored cells of the columns a report prints, read by view row.
class StoredRows final : public ReportDataSource
{
public:
    int rowCount() const override { return rowTotal; }
    QString displayText(int row, int column) const override { return cell(row, column).second; }
    QVariant value(int row, int column) const override { return cell(row, column).first; }

    QByteArray body; // the whole decompressed body; cells are read from it on demand
    int rowTotal = 0;
    QHash<int, int> stored; // dataset column -> stored column
    std::vector<quint32> offsets; // per stored column, per row: where its cell starts

private:
    std::pair<QVariant, QString> cell(int row, int column) const
    {
        const auto it = stored.constFind(column);
        if (row < 0 || row >= rowTotal || it == stored.cend())
            return {};
        const size_t at = size_t(*it) * size_t(rowTotal) + size_t(row);
        Reader r(body.constData() + offsets[at], body.constData() + body.size());
        return readCell(r); // checked when loaded
    }

public:
    static std::pair<QVariant, QString> readCell(Reader &r)
    {
        const quint8 tag = r.byte();
        QVariant v;
        QString text;
        switch (tag & ~CellOwnText) {
        case CellNull:
            break;
        case CellString:
            v = r.string();
            text = v.toString();
            break;
        case CellInteger: {
            const qint64 i = r.integer();
            v = i;
            text = QString::number(i);
            break;
        }
        case CellReal: {
            const double d = r.real();
            v = d;
            text = QString::number(d, 'g', QLocale::FloatingPointShortest);
            break;
        }
        case CellFalse:
        case CellTrue:
            v = (tag & ~CellOwnText) == CellTrue;
            text = v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
            break;
        case CellOther:
            v = r.string();
            text = v.toString();
            break;
        default:
            r.fail(QStringLiteral("未知的单元格%1").arg(tag));
            return {};
        }
        if (tag & CellOwnText)
            text = r.string();
        return { v, text };
    }
};

void writeCell(Writer &w, const QVariant &v, const QString &text)
{
    QString plain;
    quint8 tag = CellOther;
    const auto start = w.out.size();
    w.byte(0); // the tag, set below
    switch (v.typeId()) {
    case QMetaType::UnknownType:
        tag = CellNull;
        break;
    case QMetaType::QString:
        tag = CellString;
        plain = v.toString();
        w.string(plain);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        tag = CellInteger;
        const qint64 i = v.toLongLong();
        plain = QString::number(i);
        w.integer(i);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        tag = CellReal;
        const double d = v.toDouble();
        plain = QString::number(d, 'g', QLocale::FloatingPointShortest);
        w.real(d);
        break;
    }
    case QMetaType::Bool:
        tag = v.toBool() ? CellTrue : CellFalse;
        plain = v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        break;
    default: // dates, large unsigned numbers: their text
        plain = v.toString();
        w.string(plain);
        break;
    }
    if (text != plain) {
        tag |= CellOwnText;
        w.string(text);
    }
    w.out[start] = char(tag);
}

// The dataset columns the layout prints, in order.
std::vector<int> printedColumns(const ReportLayout &layout)
{
    std::set<int> columns;
    for (const LayoutPage &set : layout.pages)
        for (const Band &band : set.bands)
            for (const ReportObject &o : band.objects)
                if ((o.kind == ObjectKind::DataField || o.kind == ObjectKind::CheckBox
                        || o.kind == ObjectKind::Aggregate)
                    && o.column >= 0)
                    columns.insert(o.column);
    return { columns.begin(), columns.end() };
}

void writeFont(Writer &w, const FontSpec &f)
{
    w.string(f.family);
    w.real(f.pointSize);
    w.byte(quint8(f.bold) | quint8(f.italic) << 1 | quint8(f.underline) << 2);
    putLe(w.out, f.color, 4);
}

void writeObject(Writer &w, const ReportObject &o)
{
    w.byte(quint8(o.kind));
    w.integer(o.rect.x());
    w.integer(o.rect.y());
    w.integer(o.rect.width());
    w.integer(o.rect.height());
    w.string(o.text);
    w.varint(o.rich.paragraphs.size());
    for (const Paragraph &p : o.rich.paragraphs) {
        w.byte(quint8(p.align));
        w.varint(p.runs.size());
        for (const TextRun &run : p.runs) {
            w.string(run.text);
            w.integer(run.font);
        }
    }
    w.integer(o.column);
    w.byte(quint8(o.aggregate));
    w.integer(o.font);
    w.byte(quint8(o.hAlign));
    w.byte(quint8(o.vAlign));
    w.byte(quint8(o.expandVariables) | quint8(o.wordWrap) << 1 | quint8(o.vertical) << 2 | quint8(o.visible) << 3);
    w.byte(o.frames);
    w.byte(o.thickFrames);
}

void writeBody(
    Writer &w, const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables)
{
    const ReportLayout &layout = report.layout();
    const PageSetup &p = layout.page;
    w.integer(p.paperSize);
    w.integer(p.paperWidth);
    w.integer(p.paperHeight);
    w.byte(quint8(p.orientation));
    for (const int v : { p.leftMargin, p.topMargin, p.rightMargin, p.bottomMargin, p.columns, p.columnGap, p.paperBin })
        w.integer(v);
    w.string(p.printerName);
    w.byte(quint8(p.doublePass) | quint8(p.printBackColor) << 1);
    w.real(p.logicalDpi);

    w.varint(layout.fonts.size());
    for (const FontSpec &f : layout.fonts)
        writeFont(w, f);
    w.varint(layout.pages.size());
    for (const LayoutPage &set : layout.pages) {
        w.varint(set.bands.size());
        for (const Band &b : set.bands) {
            w.byte(quint8(b.kind));
            w.integer(b.height);
            w.byte(quint8(b.stretch) | quint8(b.visible) << 1);
            w.varint(b.objects.size());
            for (const ReportObject &o : b.objects)
                writeObject(w, o);
        }
    }

    // Sorted, so the same report always gives the same bytes.
    QStringList names = variables.entries().keys();
    names.sort();
    w.varint(quint64(names.size()));
    for (const QString &name : names) {
        w.string(name);
        w.string(variables.value(name));
    }

    w.varint(quint64(report.rowCount()));
    w.varint(quint64(report.pageCount()));
    for (int i = 0; i < report.pageCount(); ++i) {
        const PreparedPage &page = report.page(i);
        w.varint(page.firstRow);
        w.varint(page.rowCount);
        w.varint(page.pageSet);
        w.byte(page.flags);
    }

    const std::vector<int> columns = printedColumns(layout);
    w.varint(columns.size());
    for (const int c : columns) {
        w.varint(quint64(c));
        for (int r = 0; r < report.rowCount(); ++r)
            writeCell(w, source.value(r, c), source.displayText(r, c));
    }
}

FontSpec readFont(Reader &r)
{
    FontSpec f;
    f.family = r.string();
    f.pointSize = r.real();
    if (!(f.pointSize > 0 && f.pointSize <= 1000))
        r.fail(QStringLiteral("字号不在0…1000磅之内"));
    const quint8 style = r.small(7, "字体样式");
    f.bold = style & 1;
    f.italic = style & 2;
    f.underline = style & 4;
    f.color = quint32(r.byte()) | quint32(r.byte()) << 8 | quint32(r.byte()) << 16 | quint32(r.byte()) << 24;
    return f;
}

ReportObject readObject(Reader &r, int fonts)
{
    ReportObject o;
    o.kind = ObjectKind(r.small(quint8(ObjectKind::Aggregate), "对象类型"));
    const int x = r.bounded(-MaxSize, MaxSize, "横坐标");
    const int y = r.bounded(-MaxSize, MaxSize, "纵坐标");
    const int width = r.bounded(0, MaxSize, "宽度");
    const int height = r.bounded(0, MaxSize, "高度");
    o.rect = QRect(x, y, width, height);
    o.text = r.string();
    const size_t paragraphs = r.count(2, "段落");
    o.rich.paragraphs.reserve(paragraphs);
    for (size_t i = 0; i < paragraphs && r.ok(); ++i) {
        Paragraph p;
        p.align = HAlign(r.small(quint8(HAlign::Center), "对齐方式"));
        const size_t runs = r.count(2, "文字段");
        p.runs.reserve(runs);
        for (size_t k = 0; k < runs && r.ok(); ++k) {
            TextRun run;
            run.text = r.string();
            run.font = r.bounded(0, fonts - 1, "字体序号");
            p.runs.push_back(std::move(run));
        }
        o.rich.paragraphs.push_back(std::move(p));
    }
    o.column = r.bounded(-1, std::numeric_limits<int>::max(), "列号");
    o.aggregate = AggregateKind(r.small(quint8(AggregateKind::Count), "统计方式"));
    o.font = r.bounded(0, fonts - 1, "字体序号");
    o.hAlign = HAlign(r.small(quint8(HAlign::Center), "对齐方式"));
    o.vAlign = VAlign(r.small(quint8(VAlign::Bottom), "对齐方式"));
    const quint8 flags = r.small(15, "对象标志");
    o.expandVariables = flags & 1;
    o.wordWrap = flags & 2;
    o.vertical = flags & 4;
    o.visible = flags & 8;
    o.frames = r.small(FrameAll, "边框");
    o.thickFrames = r.small(FrameAll, "边框");
    return o;
}

Result<SavedReport> readBody(QByteArray body)
{
    Reader r(body.constData(), body.constData() + body.size());
    auto layout = std::make_shared<ReportLayout>();
    PageSetup &p = layout->page;
    p.paperSize = r.bounded(0, 0xFFFF, "纸张代码");
    p.paperWidth = r.bounded(1, 100'000, "纸张宽度");
    p.paperHeight = r.bounded(1, 100'000, "纸张高度");
    p.orientation = Orientation(r.small(quint8(Orientation::Landscape), "方向"));
    for (int *v : { &p.leftMargin, &p.topMargin, &p.rightMargin, &p.bottomMargin })
        *v = r.bounded(0, MaxSize, "页边距");
    p.columns = r.bounded(1, 255, "分栏数");
    p.columnGap = r.bounded(0, MaxSize, "栏间距");
    p.paperBin = r.bounded(0, 0xFFFF, "纸盒");
    p.printerName = r.string();
    const quint8 pageFlags = r.small(3, "页面标志");
    p.doublePass = pageFlags & 1;
    p.printBackColor = pageFlags & 2;
    p.logicalDpi = r.real();
    if (r.ok()) {
        if (const Status valid = p.validate(); !valid)
            r.fail(valid.error());
    }

    const size_t fonts = r.count(14, "字体");
    for (size_t i = 0; i < fonts && r.ok(); ++i)
        layout->fonts.push_back(readFont(r));
    const size_t sets = r.count(1, "页面组");
    if (r.ok() && (sets == 0 || sets > std::numeric_limits<quint16>::max()))
        r.fail(QStringLiteral("页面组数为%1").arg(sets));
    for (size_t s = 0; s < sets && r.ok(); ++s) {
        LayoutPage set;
        const size_t bands = r.count(4, "栏目");
        for (size_t b = 0; b < bands && r.ok(); ++b) {
            Band band;
            band.kind = BandKind(r.small(quint8(BandKind::MasterFooter), "栏目类型"));
            band.height = r.bounded(0, MaxSize, "栏目高度");
            const quint8 flags = r.small(3, "栏目标志");
            band.stretch = flags & 1;
            band.visible = flags & 2;
            const size_t objects = r.count(16, "对象");
            band.objects.reserve(objects);
            for (size_t o = 0; o < objects && r.ok(); ++o)
                band.objects.push_back(readObject(r, int(fonts)));
            set.bands.push_back(std::move(band));
        }
        layout->pages.push_back(std::move(set));
    }

    auto variables = std::make_shared<ReportVariables>();
    const size_t names = r.count(2, "变量");
    for (size_t i = 0; i < names && r.ok(); ++i) {
        const QString name = r.string();
        variables->set(name, r.string());
    }

    const qint64 rowCount = qint64(r.atMost(quint64(std::numeric_limits<int>::max()), "行数"));
    const size_t pageCount = r.count(4, "页");
    std::vector<PreparedPage> pages;
    pages.reserve(pageCount);
    for (size_t i = 0; i < pageCount && r.ok(); ++i) {
        PreparedPage page;
        page.firstRow = quint32(r.atMost(quint64(rowCount), "页的首行"));
        page.rowCount = quint32(r.atMost(quint64(rowCount), "页的行数"));
        page.pageSet = quint16(r.atMost(sets - 1, "页面组序号"));
        page.flags = r.byte();
        pages.push_back(page);
    }
    if (!r.ok())
        return Error { r.why() };

    auto rows = std::make_shared<StoredRows>();
    rows->rowTotal = int(rowCount);
    const size_t columns = r.count(1 + rowCount, "列");
    rows->offsets.reserve(columns * size_t(rowCount)); // each cell takes a byte at least: bounded by the body
    for (size_t c = 0; c < columns && r.ok(); ++c) {
        const int column = int(r.atMost(quint64(std::numeric_limits<int>::max()), "列号"));
        if (rows->stored.contains(column))
            r.fail(QStringLiteral("第%1列保存了两次").arg(column));
        rows->stored.insert(column, int(c));
        for (qint64 row = 0; row < rowCount && r.ok(); ++row) {
            rows->offsets.push_back(quint32(r.offset()));
            StoredRows::readCell(r);
        }
    }
    if (r.ok() && !r.atEnd())
        r.fail(QStringLiteral("结尾之后还有多余的字节"));
    if (!r.ok())
        return Error { r.why() };

    auto report = PreparedReport::restore(layout, int(rowCount), std::move(pages));
    if (!report)
        return Error { report.error() };
    rows->body = std::move(body);
    return SavedReport { std::make_shared<const PreparedReport>(std::move(report).value()), std::move(rows),
        std::move(variables) };
}

} // namespace

quint32 reportChecksum(QByteArrayView payload)
{
    return crc32(payload);
}

QByteArray frameReportBody(QByteArrayView body)
{
    const QByteArray payload = qCompress(reinterpret_cast<const uchar *>(body.data()), qsizetype(body.size()));
    QByteArray file(Magic, sizeof Magic);
    putLe(file, Version, 2);
    putLe(file, 0, 2);
    putLe(file, quint64(payload.size()), 4);
    putLe(file, crc32(payload), 4);
    file.append(payload);
    return file;
}

Result<QByteArray> encodeReport(
    const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables)
{
    if (source.rowCount() != report.rowCount())
        return Error { QStringLiteral("生成报表以后数据行有了变化（当时%1行，现在%2行）。")
                           .arg(report.rowCount())
                           .arg(source.rowCount()) };
    Writer w;
    writeBody(w, report, source, variables);
    if (w.out.size() > MaxBody)
        return Error { QStringLiteral("报表太大（%1 MB），无法保存。").arg(w.out.size() >> 20) };
    return frameReportBody(w.out);
}

Result<SavedReport> decodeReport(QByteArrayView file)
{
    const auto bad = [](const QString &why) {
        return Error { QStringLiteral("这不是保存的报表，或者文件已损坏：%1。").arg(why) };
    };
    if (file.size() < HeaderSize || std::memcmp(file.data(), Magic, sizeof Magic) != 0)
        return bad(QStringLiteral("文件开头不是报表的标记"));
    const quint64 version = getLe(file.data() + 8, 2);
    if (version != Version)
        return Error { QStringLiteral("保存的报表是第%1版格式，本程序只能读第%2版。").arg(version).arg(Version) };
    const quint64 payloadSize = getLe(file.data() + 12, 4);
    if (payloadSize != quint64(file.size() - HeaderSize))
        return bad(QStringLiteral("文件长%1字节，文件头却记为%2字节").arg(file.size()).arg(payloadSize + HeaderSize));
    const QByteArrayView payload = file.sliced(HeaderSize);
    if (crc32(payload) != quint32(getLe(file.data() + 16, 4)))
        return bad(QStringLiteral("校验和不符"));
    if (payload.size() < 4)
        return bad(QStringLiteral("文件提前结束"));
    const qint64 bodySize = qint64(quint8(payload[0])) << 24 | qint64(quint8(payload[1])) << 16
        | qint64(quint8(payload[2])) << 8 | qint64(quint8(payload[3]));
    // Checked before qUncompress allocates what the size claims.
    if (bodySize == 0 || bodySize > MaxBody || bodySize > MaxExpansion * payload.size() + 64)
        return bad(QStringLiteral("记录的内容大小%1不对").arg(bodySize));
    QByteArray body = qUncompress(reinterpret_cast<const uchar *>(payload.data()), qsizetype(payload.size()));
    if (body.size() != bodySize)
        return bad(QStringLiteral("数据无法解压"));
    auto loaded = readBody(std::move(body));
    if (!loaded)
        return bad(loaded.error());
    return loaded;
}

Status saveReport(
    const PreparedReport &report, const ReportDataSource &source, const ReportVariables &variables, const QString &path)
{
    const QString shown = QFileInfo(path).fileName();
    const auto bytes = encodeReport(report, source, variables);
    if (!bytes)
        return Error { QStringLiteral("无法保存报表“%1”：%2").arg(shown, bytes.error()) };
    // QSaveFile writes beside the target and renames over it on commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return Error { QStringLiteral("无法保存报表“%1”：%2").arg(shown, writeProblem(path, 0, file.errorString())) };
    return {};
}

Result<SavedReport> loadReport(const QString &path)
{
    const QString shown = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Error { QStringLiteral("无法打开报表“%1”：%2").arg(shown, readProblem(path, 0, file.errorString())) };
    if (file.size() > MaxBody)
        return Error { QStringLiteral("文件“%1”太大，不是保存的报表。").arg(shown) };
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Error { QStringLiteral("无法读取报表“%1”：%2").arg(shown, readProblem(path, 0, file.errorString())) };
    auto loaded = decodeReport(bytes);
    if (!loaded)
        return Error { QStringLiteral("报表“%1”：%2").arg(shown, loaded.error()) };
    return loaded;
}

} // namespace sqda::report
