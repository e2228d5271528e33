#include "Packet.h"

#include "DataError.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QStringDecoder>
#include <QTimeZone>

#include <cmath>

namespace sqda::Packet {

namespace {

constexpr quint64 TagDateTimeText = 0; // RFC 8949: standard date/time string
constexpr quint64 TagFullDate = 1004; // RFC 8943: full-date string

void writeCell(QCborStreamWriter &w, const DataStore &s, qsizetype row, int col)
{
    if (s.isNull(row, col)) {
        w.append(nullptr);
        return;
    }
    switch (s.defs()[col].type) {
    case FieldType::String: w.append(s.string(row, col)); break;
    case FieldType::Int32:
    case FieldType::Int64: w.append(s.integer(row, col)); break;
    case FieldType::Double: w.append(s.real(row, col)); break;
    case FieldType::Bool: w.append(s.integer(row, col) != 0); break;
    case FieldType::Date:
        w.append(QCborTag(TagFullDate));
        w.append(s.date(row, col).toString(Qt::ISODate));
        break;
    case FieldType::DateTime:
        w.append(QCborTag(TagDateTimeText));
        w.append(s.dateTime(row, col).toUTC().toString(Qt::ISODateWithMs));
        break;
    }
}

// The decoder. Every step checks what it reads; the first problem stops the
// whole decode with a message naming where it happened.
class Decoder
{
public:
    explicit Decoder(const QByteArray &bytes) : m_bytes(bytes), m_r(bytes) {}

    std::optional<DataStore> run(QString *error)
    {
        try {
            DataStore store = readDocument();
            return store;
        } catch (const DataError &e) {
            if (error)
                *error = e.message();
            return std::nullopt;
        }
    }

private:
    [[noreturn]] void fail(const QString &what) const
    {
        throw DataError(QStringLiteral("数据包无效（偏移 %1）：%2").arg(m_r.currentOffset()).arg(what));
    }

    void check()
    {
        if (m_r.lastError() != QCborError::NoError)
            fail(m_r.lastError().toString());
    }

    void expect(bool ok, const char *what)
    {
        check();
        if (!ok)
            fail(QString::fromUtf8(what));
    }

    // Declared lengths cannot exceed what the remaining bytes could hold: a
    // hostile length must not make us reserve gigabytes.
    qsizetype boundedLength(quint64 declared, qsizetype minBytesEach)
    {
        const qsizetype remaining = m_bytes.size() - m_r.currentOffset();
        if (declared > quint64(remaining / minBytesEach) + 1)
            fail(QStringLiteral("声明的长度 %1 超出数据包大小").arg(declared));
        return qsizetype(declared);
    }

    QString readText(qsizetype maxLen)
    {
        expect(m_r.isString(), "此处应为文本");
        if (m_r.isLengthKnown() && m_r.length() > quint64(maxLen * 4))
            fail(QStringLiteral("文本过长"));
        QString out;
        auto r = m_r.readString();
        while (r.status == QCborStreamReader::Ok) {
            out += r.data;
            if (out.size() > maxLen)
                fail(QStringLiteral("文本过长"));
            r = m_r.readString();
        }
        expect(r.status == QCborStreamReader::EndOfString, "文本不完整");
        return out;
    }

    qint64 readInteger()
    {
        expect(m_r.isInteger(), "此处应为整数");
        if (m_r.isNegativeInteger()) {
            const quint64 v = quint64(m_r.toNegativeInteger());
            if (v > quint64(std::numeric_limits<qint64>::max()) + 1)
                fail(QStringLiteral("整数超出范围"));
            m_r.next();
            check();
            return qint64(-v); // two's complement covers -2^63
        }
        const quint64 v = m_r.toUnsignedInteger();
        if (v > quint64(std::numeric_limits<qint64>::max()))
            fail(QStringLiteral("整数超出范围"));
        m_r.next();
        check();
        return qint64(v);
    }

    DataStore readDocument()
    {
        expect(m_r.isMap(), "数据包应为 CBOR 映射");
        const bool known = m_r.isLengthKnown();
        const quint64 n = known ? m_r.length() : 0;
        expect(m_r.enterContainer(), "无法读取映射");
        std::optional<FieldDefs> defs;
        std::optional<DataStore> store;
        for (quint64 i = 0; known ? i < n : m_r.hasNext(); ++i) {
            check();
            const QString key = readText(MaxNameLength);
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
                // Unknown keys are skipped: later versions may add metadata.
                check();
                if (!m_r.next())
                    fail(QStringLiteral("无法跳过未知键 %1").arg(key));
            }
        }
        check();
        expect(m_r.leaveContainer(), "映射不完整");
        if (m_r.currentOffset() != m_bytes.size())
            fail(QStringLiteral("数据包末尾有多余数据"));
        if (!defs)
            fail(QStringLiteral("缺少 fields"));
        if (!store)
            store.emplace(*defs); // a packet without rows is an empty result
        return std::move(*store);
    }

    FieldDefs readFields()
    {
        expect(m_r.isArray(), "fields 应为数组");
        const bool known = m_r.isLengthKnown();
        const quint64 n = known ? quint64(boundedLength(m_r.length(), 1)) : 0;
        if (known && n > quint64(MaxFields))
            fail(QStringLiteral("字段过多"));
        expect(m_r.enterContainer(), "无法读取 fields");
        FieldDefs defs;
        for (quint64 i = 0; known ? i < n : m_r.hasNext(); ++i) {
            if (defs.size() >= MaxFields)
                fail(QStringLiteral("字段过多"));
            defs << readField();
        }
        check();
        expect(m_r.leaveContainer(), "fields 不完整");
        return defs;
    }

    FieldDef readField()
    {
        expect(m_r.isMap(), "字段定义应为映射");
        const bool known = m_r.isLengthKnown();
        const quint64 n = known ? quint64(boundedLength(m_r.length(), 2)) : 0;
        expect(m_r.enterContainer(), "无法读取字段定义");
        FieldDef d;
        bool hasName = false, hasType = false;
        for (quint64 i = 0; known ? i < n : m_r.hasNext(); ++i) {
            const QString key = readText(MaxNameLength);
            if (key == QLatin1String("name")) {
                d.name = readText(MaxNameLength);
                hasName = !d.name.isEmpty();
            } else if (key == QLatin1String("type")) {
                const QString t = readText(MaxNameLength);
                if (!fieldTypeFromName(t, &d.type))
                    fail(QStringLiteral("未知的字段类型 %1").arg(t));
                hasType = true;
            } else if (key == QLatin1String("size")) {
                const qint64 size = readInteger();
                if (size < 0 || size > std::numeric_limits<int>::max())
                    fail(QStringLiteral("字段宽度无效"));
                d.size = int(size);
            } else if (key == QLatin1String("label")) {
                d.displayLabel = readText(MaxNameLength);
            } else {
                check();
                if (!m_r.next())
                    fail(QStringLiteral("无法跳过未知键 %1").arg(key));
            }
        }
        check();
        expect(m_r.leaveContainer(), "字段定义不完整");
        if (!hasName)
            fail(QStringLiteral("字段缺少名称"));
        if (!hasType)
            fail(QStringLiteral("字段 %1 缺少类型").arg(d.name));
        return d;
    }

    DataStore readRows(const FieldDefs &defs)
    {
        expect(m_r.isArray(), "rows 应为数组");
        const bool known = m_r.isLengthKnown();
        // Each row takes at least one byte per cell (and one for its header).
        const qsizetype perRow = qMax<qsizetype>(1, defs.size());
        const quint64 n = known ? quint64(boundedLength(m_r.length(), perRow)) : 0;
        expect(m_r.enterContainer(), "无法读取 rows");
        DataStore store(defs);
        if (known)
            store.reserve(qsizetype(n));
        for (quint64 i = 0; known ? i < n : m_r.hasNext(); ++i) {
            check();
            readRow(store, defs);
        }
        check();
        expect(m_r.leaveContainer(), "rows 不完整");
        return store;
    }

    void readRow(DataStore &store, const FieldDefs &defs)
    {
        expect(m_r.isArray(), "每行应为数组");
        const int cols = int(defs.size());
        if (!m_r.isLengthKnown() || m_r.length() != quint64(cols))
            fail(QStringLiteral("第 %1 行的值个数应为 %2").arg(store.rowCount() + 1).arg(cols));
        expect(m_r.enterContainer(), "无法读取行");
        for (int c = 0; c < cols; ++c)
            readCell(store, c, defs[c].type);
        check();
        expect(m_r.leaveContainer(), "行不完整");
        store.commitRow();
    }

    void readCell(DataStore &store, int col, FieldType type)
    {
        check();
        if (m_r.isNull()) {
            m_r.next();
            store.appendNull(col);
            return;
        }
        switch (type) {
        case FieldType::String: return readStringCell(store, col);
        case FieldType::Int32: {
            const qint64 v = readInteger();
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                fail(QStringLiteral("整数超出 32 位范围"));
            return store.appendInt(col, v);
        }
        case FieldType::Int64: return store.appendInt(col, readInteger());
        case FieldType::Double: {
            double v;
            if (m_r.isDouble())
                v = m_r.toDouble();
            else if (m_r.isFloat())
                v = double(m_r.toFloat());
            else if (m_r.isFloat16())
                v = double(float(m_r.toFloat16()));
            else if (m_r.isInteger())
                return store.appendDouble(col, double(readInteger()));
            else
                fail(QStringLiteral("此处应为数值"));
            m_r.next();
            check();
            return store.appendDouble(col, v);
        }
        case FieldType::Bool:
            expect(m_r.isBool(), "此处应为布尔值");
            store.appendBool(col, m_r.toBool());
            m_r.next();
            check();
            return;
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
        if (m_r.isTag()) {
            if (quint64(m_r.toTag()) != tag)
                fail(QStringLiteral("意外的标签 %1").arg(quint64(m_r.toTag())));
            m_r.next();
            check();
        }
        return readText(maxLen);
    }

    // Strings go straight from the packet's UTF-8 into the store's UTF-16 arena.
    void readStringCell(DataStore &store, int col)
    {
        expect(m_r.isString(), "此处应为文本");
        qsizetype used = 0;
        for (;;) {
            const qsizetype chunk = qMax<qsizetype>(0, m_r.currentStringChunkSize());
            const qsizetype remaining = m_bytes.size() - m_r.currentOffset();
            if (chunk > remaining)
                fail(QStringLiteral("文本长度超出数据包大小"));
            if (qsizetype(m_buf.size()) < used + chunk + 1)
                m_buf.resize(size_t(used + chunk + 1));
            const auto r = m_r.readStringChunk(m_buf.data() + used, chunk);
            if (r.status == QCborStreamReader::EndOfString)
                break;
            if (r.status != QCborStreamReader::Ok)
                fail(m_r.lastError().toString());
            used += r.data;
        }
        check();
        appendUtf8(store, col, QByteArrayView(m_buf.data(), used));
    }

    void appendUtf8(DataStore &store, int col, QByteArrayView utf8)
    {
        QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        char16_t *out = store.beginString(dec.requiredSpace(utf8.size()));
        QChar *end = dec.appendToBuffer(reinterpret_cast<QChar *>(out), utf8);
        if (dec.hasError())
            fail(QStringLiteral("文本不是有效的 UTF-8"));
        store.finishString(col, end - reinterpret_cast<QChar *>(out));
    }

    const QByteArray &m_bytes;
    QCborStreamReader m_r;
    std::vector<char> m_buf;
};

} // namespace

QByteArray encode(const DataStore &store)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startMap(2);
    w.append(QLatin1StringView("fields"));
    w.startArray(quint64(store.defs().size()));
    for (const FieldDef &d : store.defs()) {
        const bool hasLabel = !d.displayLabel.isEmpty();
        w.startMap(hasLabel ? 4 : 3);
        w.append(QLatin1StringView("name"));
        w.append(d.name);
        w.append(QLatin1StringView("type"));
        w.append(fieldTypeName(d.type));
        w.append(QLatin1StringView("size"));
        w.append(qint64(d.size));
        if (hasLabel) {
            w.append(QLatin1StringView("label"));
            w.append(d.displayLabel);
        }
        w.endMap();
    }
    w.endArray();
    w.append(QLatin1StringView("rows"));
    w.startArray(quint64(store.rowCount()));
    const int cols = store.columnCount();
    for (qsizetype r = 0; r < store.rowCount(); ++r) {
        w.startArray(quint64(cols));
        for (int c = 0; c < cols; ++c)
            writeCell(w, store, r, c);
        w.endArray();
    }
    w.endArray();
    w.endMap();
    return out;
}

std::optional<DataStore> decode(const QByteArray &packet, QString *error)
{
    if (packet.isEmpty()) {
        if (error)
            *error = QStringLiteral("数据包为空");
        return std::nullopt;
    }
    return Decoder(packet).run(error);
}

} // namespace sqda::Packet
