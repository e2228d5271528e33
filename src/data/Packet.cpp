#include "Packet.h"

#include "CborReader.h"
#include "DataError.h"
#include "PacketWriter.h"
#include "Utf8.h"

#include <QTimeZone>

#include <cmath>

namespace sqda::Packet {

namespace {

constexpr quint64 TagDateTimeText = 0; // RFC 8949: standard date/time string
constexpr quint64 TagFullDate = 1004; // RFC 8943: full-date string

void writeCell(PacketWriter &w, const DataStore &s, qsizetype row, int col)
{
    if (s.isNull(row, col)) {
        w.null();
        return;
    }
    switch (s.defs()[col].type) {
    case FieldType::String:
        w.text(s.string(row, col));
        break;
    case FieldType::Int32:
    case FieldType::Int64:
        w.integer(s.integer(row, col));
        break;
    case FieldType::Double:
        w.real(s.real(row, col));
        break;
    case FieldType::Bool:
        w.boolean(s.integer(row, col) != 0);
        break;
    case FieldType::Date:
        w.tag(TagFullDate);
        w.text(s.date(row, col).toString(Qt::ISODate));
        break;
    case FieldType::DateTime:
        w.tag(TagDateTimeText);
        w.text(s.dateTime(row, col).toUTC().toString(Qt::ISODateWithMs));
        break;
    }
}

// The decoder. Every step checks what it reads; the first problem stops the
// whole decode with a message naming where it happened.
class Decoder
{
public:
    using Kind = CborReader::Kind;

    explicit Decoder(const QByteArray &bytes)
        : m_r(bytes)
    {
    }

    Result<DataStore> run()
    {
        try {
            return readDocument();
        } catch (const DataError &e) {
            return Error { e.message() };
        }
    }

private:
    [[noreturn]] void fail(const QString &what) const { m_r.fail(what); }

    // Containers: definite ones give their count, indefinite ones end at a break.
    struct Container
    {
        bool indefinite;
        quint64 count;
    };

    Container enter(Kind kind, const char *what, qsizetype minBytesEach)
    {
        const CborReader::Head h = m_r.read();
        if (h.kind != kind)
            fail(QString::fromUtf8(what));
        // A declared length beyond what the remaining bytes could hold is refused
        // before anything is reserved for it.
        if (!h.indefinite && h.value > quint64(m_r.remaining() / minBytesEach))
            fail(QStringLiteral("声明的长度 %1 超出数据包大小").arg(h.value));
        return { h.indefinite, h.value };
    }

    bool more(const Container &c, quint64 i)
    {
        if (!c.indefinite)
            return i < c.count;
        if (m_r.nextIsBreak()) {
            m_r.readBreak();
            return false;
        }
        return true;
    }

    qint64 readInteger()
    {
        const CborReader::Head h = m_r.read();
        if (h.kind == Kind::Unsigned) {
            if (h.value > quint64(std::numeric_limits<qint64>::max()))
                fail(QStringLiteral("整数超出范围"));
            return qint64(h.value);
        }
        if (h.kind == Kind::Negative) {
            if (h.value > quint64(std::numeric_limits<qint64>::max()))
                fail(QStringLiteral("整数超出范围"));
            return -1 - qint64(h.value);
        }
        fail(QStringLiteral("此处应为整数"));
    }

    DataStore readDocument()
    {
        const Container top = enter(Kind::Map, "数据包应为 CBOR 映射", 2);
        std::optional<FieldDefs> defs;
        std::optional<DataStore> store;
        for (quint64 i = 0; more(top, i); ++i) {
            const QString key = m_r.readText(MaxNameLength);
            if (key == QLatin1String("fields")) {
                if (defs)
                    fail(QStringLiteral("fields 重复"));
                defs = readFields();
            } else if (key == QLatin1String("rows")) {
                if (!defs)
                    fail(QStringLiteral("rows 出现在 fields 之前"));
                if (store)
                    fail(QStringLiteral("rows 重复"));
                store = readRows(*defs);
            } else {
                m_r.skip(); // later versions may add metadata
            }
        }
        if (!m_r.atEnd())
            fail(QStringLiteral("数据包末尾有多余数据"));
        if (!defs)
            fail(QStringLiteral("缺少 fields"));
        if (!store)
            store.emplace(*defs); // a packet without rows is an empty result
        return std::move(*store);
    }

    FieldDefs readFields()
    {
        const Container c = enter(Kind::Array, "fields 应为数组", 1);
        FieldDefs defs;
        for (quint64 i = 0; more(c, i); ++i) {
            if (defs.size() >= MaxFields)
                fail(QStringLiteral("字段过多"));
            defs << readField();
        }
        return defs;
    }

    FieldDef readField()
    {
        const Container c = enter(Kind::Map, "字段定义应为映射", 2);
        FieldDef d;
        bool hasName = false, hasType = false;
        for (quint64 i = 0; more(c, i); ++i) {
            const QString key = m_r.readText(MaxNameLength);
            if (key == QLatin1String("name")) {
                d.name = m_r.readText(MaxNameLength);
                hasName = !d.name.isEmpty();
            } else if (key == QLatin1String("type")) {
                const QString t = m_r.readText(MaxNameLength);
                if (!fieldTypeFromName(t, &d.type))
                    fail(QStringLiteral("未知的字段类型 %1").arg(t));
                hasType = true;
            } else if (key == QLatin1String("size")) {
                const qint64 size = readInteger();
                if (size < 0 || size > std::numeric_limits<int>::max())
                    fail(QStringLiteral("字段宽度无效"));
                d.size = int(size);
            } else if (key == QLatin1String("label")) {
                d.displayLabel = m_r.readText(MaxNameLength);
            } else {
                m_r.skip();
            }
        }
        if (!hasName)
            fail(QStringLiteral("字段缺少名称"));
        if (!hasType)
            fail(QStringLiteral("字段 %1 缺少类型").arg(d.name));
        return d;
    }

    DataStore readRows(const FieldDefs &defs)
    {
        // Each row takes at least one byte for its head and one per cell.
        const Container c = enter(Kind::Array, "rows 应为数组", 1 + defs.size());
        DataStore store(defs);
        if (!c.indefinite)
            store.reserve(qsizetype(c.count));
        // All text of the rows fits in as many UTF-16 units as the packet has bytes
        // left; the reservation is not touched, so unused pages cost nothing.
        store.reserveText(m_r.remaining() + 1);
        std::vector<FieldType> types;
        for (const FieldDef &d : defs)
            types.push_back(d.type);
        // The kernel readies the reserved pages on another core meanwhile.
        PageWarmer warmer;
        store.addReservedTo(warmer);
        warmer.start();
        for (quint64 i = 0; more(c, i); ++i) {
            readRow(store, types);
            if ((i & 1023) == 0)
                warmer.progress(store.textBytes());
        }
        return store;
    }

    void readRow(DataStore &store, const std::vector<FieldType> &types)
    {
        const CborReader::Head h = m_r.read();
        const int cols = int(types.size());
        if (h.kind != Kind::Array)
            fail(QStringLiteral("每行应为数组"));
        if (h.indefinite || h.value != quint64(cols))
            fail(QStringLiteral("第 %1 行的值个数应为 %2").arg(store.rowCount() + 1).arg(cols));
        for (int c = 0; c < cols; ++c)
            readCell(store, c, types[size_t(c)]);
        store.commitRow();
    }

    void readCell(DataStore &store, int col, FieldType type)
    {
        // Most cells of a text column are short definite strings: one head, read once.
        QByteArrayView shortText;
        if (type == FieldType::String && m_r.readShortText(&shortText))
            return storeText(store, col, shortText);
        const CborReader::Head h = m_r.peek();
        if (h.kind == Kind::Simple && h.value == CborReader::SimpleNull) {
            m_r.read();
            store.appendNull(col);
            return;
        }
        switch (type) {
        case FieldType::String:
            return readStringCell(store, col);
        case FieldType::Int32: {
            const qint64 v = readInteger();
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                fail(QStringLiteral("整数超出 32 位范围"));
            return store.appendInt(col, v);
        }
        case FieldType::Int64:
            return store.appendInt(col, readInteger());
        case FieldType::Double:
            if (h.kind == Kind::Float) {
                m_r.read();
                return store.appendDouble(col, h.real);
            }
            if (h.kind == Kind::Unsigned || h.kind == Kind::Negative)
                return store.appendDouble(col, double(readInteger()));
            fail(QStringLiteral("此处应为数值"));
        case FieldType::Bool:
            if (h.kind != Kind::Simple || (h.value != CborReader::SimpleFalse && h.value != CborReader::SimpleTrue))
                fail(QStringLiteral("此处应为布尔值"));
            m_r.read();
            return store.appendBool(col, h.value == CborReader::SimpleTrue);
        case FieldType::Date: {
            const QString t = readTaggedText(TagFullDate, 10);
            const QDate d = QDate::fromString(t, Qt::ISODate);
            if (!d.isValid())
                fail(QStringLiteral("无效的日期 %1").arg(t));
            return store.appendDate(col, d);
        }
        case FieldType::DateTime: {
            const QString t = readTaggedText(TagDateTimeText, 64);
            const QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
            if (!dt.isValid())
                fail(QStringLiteral("无效的日期时间 %1").arg(t));
            return store.appendDateTime(col, dt);
        }
        }
    }

    QString readTaggedText(quint64 tag, qsizetype maxLen)
    {
        const CborReader::Head h = m_r.peek();
        if (h.kind == Kind::Tag) {
            if (h.value != tag)
                fail(QStringLiteral("意外的标签 %1").arg(h.value));
            m_r.read();
        }
        return m_r.readText(maxLen * 4);
    }

    // Strings go straight from the packet's UTF-8 into the store's UTF-16 arena.
    void readStringCell(DataStore &store, int col)
    {
        QByteArrayView utf8;
        if (!m_r.readTextView(&utf8)) {
            m_r.readTextUtf8(m_chunked);
            utf8 = m_chunked;
        }
        storeText(store, col, utf8);
    }

    void storeText(DataStore &store, int col, QByteArrayView utf8)
    {
        const qsizetype n = Utf8::toUtf16(utf8.data(), utf8.size(), store.beginString(utf8.size()));
        if (n < 0)
            fail(QStringLiteral("文本不是有效的 UTF-8"));
        store.finishString(col, n);
    }

    CborReader m_r;
    QByteArray m_chunked;
};

} // namespace

static void writeFields(PacketWriter &w, const FieldDefs &defs)
{
    w.startArray(quint64(defs.size()));
    for (const FieldDef &d : defs) {
        const bool hasLabel = !d.displayLabel.isEmpty();
        w.startMap(hasLabel ? 4 : 3);
        w.textLatin1("name");
        w.text(d.name);
        w.textLatin1("type");
        w.text(fieldTypeName(d.type));
        w.textLatin1("size");
        w.integer(d.size);
        if (hasLabel) {
            w.textLatin1("label");
            w.text(d.displayLabel);
        }
    }
}

void writeHeader(PacketWriter &w, const FieldDefs &defs, qsizetype rowCount)
{
    w.startMap(2);
    w.textLatin1("fields");
    writeFields(w, defs);
    w.textLatin1("rows");
    w.startArray(quint64(rowCount));
}

QByteArray encode(const DataStore &store)
{
    PacketWriter w;
    writeHeader(w, store.defs(), store.rowCount());
    const int cols = store.columnCount();
    for (qsizetype r = 0; r < store.rowCount(); ++r) {
        w.startArray(quint64(cols));
        for (int c = 0; c < cols; ++c)
            writeCell(w, store, r, c);
    }
    return w.take();
}

Result<DataStore> decode(const QByteArray &packet)
{
    if (packet.isEmpty())
        return Error { QStringLiteral("数据包为空") };
    return Decoder(packet).run();
}

} // namespace sqda::Packet
