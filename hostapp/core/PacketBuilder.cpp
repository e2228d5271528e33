#include "PacketBuilder.h"

#include "SqlFailure.h"

#include "data/CborReader.h"
#include "data/DataError.h"
#include "data/Packet.h"
#include "data/Utf8.h"

#include <QLocale>
#include <QVariant>

#include <algorithm>
#include <cstring>

namespace kalmora {

using sqda::FieldType;
using sqda::PacketWriter;

namespace {

constexpr quint64 TagDateTimeText = 0;
constexpr quint64 TagFullDate = 1004;

// The shortest text that reads back as the same double ("12.5", "1e+20").
QByteArray doubleText(double v)
{
    return QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

// A text value met in a numeric column is judged the way a number typed as
// text always was: whole numbers keep an integer column, numbers with a
// fraction make it double, anything else makes it text.
bool isWhole(const QString &s, qint64 *out)
{
    bool ok = false;
    *out = s.toLongLong(&ok);
    return ok;
}

bool isNumber(const QString &s, double *out)
{
    bool ok = false;
    *out = s.toDouble(&ok);
    return ok;
}

} // namespace

PacketBuilder::PacketBuilder(std::vector<Column> columns)
    : m_columns(std::move(columns))
    , m_written(m_columns.size(), false)
{
    if (m_columns.size() > size_t(sqda::Packet::MaxFields))
        throw SqlFailure(QStringList { QStringLiteral("查询结果有 %1 列，超过了数据包能容纳的 %2 列。")
                                           .arg(m_columns.size())
                                           .arg(sqda::Packet::MaxFields) });
    // The header is written last into room kept in front of the rows: a
    // field takes its name and about forty bytes of keys and values.
    m_frontRoom = 64;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        Column &col = m_columns[c];
        col.name = col.name.toLower(); // the engines disagree on the case of unquoted names
        if (col.name.isEmpty())
            throw SqlFailure(QStringList { QStringLiteral("查询结果的第 %1 列没有名称。").arg(c + 1),
                QStringLiteral("请在语句中用 AS 给这一列起个名字。") });
        const qsizetype bytes = col.name.toUtf8().size();
        if (bytes > sqda::Packet::MaxNameLength)
            throw SqlFailure(QStringList { QStringLiteral("查询结果的第 %1 列的名称太长（%2 字节，最多 %3 字节）。")
                                               .arg(c + 1)
                                               .arg(bytes)
                                               .arg(sqda::Packet::MaxNameLength),
                QStringLiteral("请在语句中用 AS 给这一列起个短一些的名字。") });
        m_frontRoom += bytes + 48;
    }
    m_w = PacketWriter(m_frontRoom, std::move(spareBuffer()));
}

void PacketBuilder::real(int col, double v)
{
    Column &c = m_columns[size_t(col)];
    switch (c.type) {
    case FieldType::Int32:
    case FieldType::Int64:
        c.type = FieldType::Double;
        [[fallthrough]];
    case FieldType::Double:
        m_w.real(v);
        m_written[size_t(col)] = true;
        return;
    case FieldType::String:
        m_w.textUtf8(doubleText(v));
        return;
    default:
        makeText(col); // a fraction is not a flag, nor a date
        m_w.textUtf8(doubleText(v));
    }
}

void PacketBuilder::otherInteger(int col, qint64 v)
{
    Column &c = m_columns[size_t(col)];
    if (c.type == FieldType::Bool) {
        m_w.boolean(v != 0);
        m_written[size_t(col)] = true;
        return;
    }
    if (c.type != FieldType::String)
        makeText(col);
    m_w.textUtf8(QByteArray::number(v));
}

void PacketBuilder::boolean(int col, bool v)
{
    Column &c = m_columns[size_t(col)];
    if (c.type == FieldType::Bool) {
        m_w.boolean(v);
        m_written[size_t(col)] = true;
        return;
    }
    if (c.type != FieldType::String)
        makeText(col);
    m_w.textLatin1(v ? "true" : "false");
}

void PacketBuilder::textInTypedColumn(int col, const char *utf8, qsizetype n)
{
    // The slow path: a number the engine keeps as text (SQLite stores any value
    // in any column), or a value a typed column cannot hold.
    Column &c = m_columns[size_t(col)];
    const QString s = QString::fromUtf8(utf8, n);
    qint64 whole = 0;
    double number = 0;
    switch (c.type) {
    case FieldType::Int32:
    case FieldType::Int64:
        if (isWhole(s, &whole))
            return integer(col, whole);
        if (isNumber(s, &number))
            return real(col, number);
        break;
    case FieldType::Double:
        if (isNumber(s, &number))
            return real(col, number);
        break;
    case FieldType::Bool:
        if (isWhole(s, &whole)) {
            m_w.boolean(QVariant(s).toBool());
            m_written[size_t(col)] = true;
            return;
        }
        break;
    default:
        break;
    }
    makeText(col);
    stringValue(utf8, n);
}

void PacketBuilder::bytes(int col, const uchar *data, qsizetype n)
{
    if (m_columns[size_t(col)].type != FieldType::String)
        makeText(col);
    static constexpr char digits[] = "0123456789abcdef";
    m_w.head(PacketWriter::Text, quint64(n) * 2);
    char *p = m_w.room(n * 2);
    for (qsizetype i = 0; i < n; ++i) {
        p[2 * i] = digits[data[i] >> 4];
        p[2 * i + 1] = digits[data[i] & 0xf];
    }
    m_w.commit(n * 2);
}

void PacketBuilder::date(int col, QByteArrayView isoDate)
{
    Column &c = m_columns[size_t(col)];
    if (c.type == FieldType::Date) {
        m_w.tag(TagFullDate);
        m_written[size_t(col)] = true;
    } else if (c.type != FieldType::String) {
        makeText(col);
    }
    m_w.textUtf8(isoDate);
}

void PacketBuilder::dateTime(int col, const QDateTime &when)
{
    Column &c = m_columns[size_t(col)];
    if (c.type == FieldType::DateTime) {
        m_w.tag(TagDateTimeText);
        m_written[size_t(col)] = true;
    } else if (c.type != FieldType::String) {
        makeText(col);
    }
    m_w.text(when.toUTC().toString(Qt::ISODateWithMs));
}

void PacketBuilder::makeText(int col)
{
    Column &c = m_columns[size_t(col)];
    c.type = FieldType::String;
    if (!m_written[size_t(col)])
        return; // only nulls so far: nothing to rewrite
    m_written[size_t(col)] = false;

    // Every row written so far is copied; the column's values become the text
    // they stand for, every other value is copied byte for byte. The row being
    // written holds only the values before this column's: it is copied as it is.
    using Kind = sqda::CborReader::Kind;
    const QByteArrayView old = m_w.view();
    PacketWriter out(m_frontRoom);
    out.reserve(old.size() + old.size() / 4);
    try {
        sqda::CborReader r(old);
        const int cols = columnCount();
        while (r.offset() < m_rowStart) {
            r.read(); // the row's array head: one value per column
            out.startArray(quint64(cols));
            for (int k = 0; k < cols; ++k) {
                const qsizetype start = r.offset();
                if (k != col) {
                    r.skip();
                    out.append(old.data() + start, r.offset() - start);
                    continue;
                }
                if (r.peek().kind == Kind::Tag)
                    r.read(); // a date's tag: its text follows
                if (r.peek().kind == Kind::Text) {
                    QByteArrayView text;
                    if (!r.readTextView(&text))
                        r.fail(QStringLiteral("意外的文本"));
                    out.textUtf8(text);
                    continue;
                }
                const sqda::CborReader::Head h = r.read();
                switch (h.kind) {
                case Kind::Unsigned:
                    out.textUtf8(QByteArray::number(h.value));
                    break;
                case Kind::Negative:
                    out.textUtf8(QByteArray::number(-1 - qint64(h.value)));
                    break;
                case Kind::Float:
                    out.textUtf8(doubleText(h.real));
                    break;
                case Kind::Simple:
                    if (h.value == sqda::CborReader::SimpleNull)
                        out.null();
                    else
                        out.textLatin1(h.value == sqda::CborReader::SimpleTrue ? "1" : "0");
                    break;
                default:
                    r.fail(QStringLiteral("意外的值"));
                }
            }
        }
        out.append(old.data() + m_rowStart, old.size() - m_rowStart);
    } catch (const sqda::DataError &e) {
        // Our own bytes: reaching here is a fault of this class, said plainly.
        throw SqlFailure(QStringList { QStringLiteral("无法把查询结果转换为数据包。"), e.message() });
    }
    m_rowStart = out.size() - (old.size() - m_rowStart);
    m_w = std::move(out);
}

QByteArray PacketBuilder::finish()
{
    sqda::FieldDefs defs;
    defs.reserve(qsizetype(m_columns.size()));
    for (const Column &c : m_columns)
        defs << sqda::FieldDef { c.name, c.type, c.type == FieldType::String ? std::max(c.size, 0) : 0, {} };
    PacketWriter head;
    sqda::Packet::writeHeader(head, defs, m_rows);
    QByteArray packet = m_w.take(head.view());
    // Kept (shared) for this thread's next packet, which writes into it once
    // the reader has dropped this one; a very large one is not held on to.
    spareBuffer() = packet.capacity() <= MaxSpareBytes ? packet : QByteArray();
    return packet;
}

QByteArray &PacketBuilder::spareBuffer()
{
    thread_local QByteArray spare;
    return spare;
}

bool PacketBuilder::isValidUtf8(const char *utf8, qsizetype n)
{
    return sqda::Utf8::isValid(utf8, n);
}

} // namespace kalmora
