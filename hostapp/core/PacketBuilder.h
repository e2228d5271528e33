// Query rows written as packet bytes while they arrive, with each column's type
// settled on the way.
//
// A column starts with the type its engine declares. A value that does not fit
// widens it the way a packet reader accepts without touching what was written:
// int32 becomes int64 for a larger integer, either becomes double for a
// fraction (integers already written read as doubles there). A column that
// meets a value only text can hold becomes a text column; that is the one slow
// path: the rows written so far are copied once with that column's values
// turned into text. The header, known only at the end, goes in front of the
// rows without moving them (PacketWriter's front room).
#pragma once

#include "data/FieldDef.h"
#include "data/PacketWriter.h"
#include "data/Utf8.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <limits>
#include <vector>

namespace kalmora {

class PacketBuilder
{
public:
    struct Column
    {
        QString name; // as the engine names it; the packet carries it in lower case
        sqda::FieldType type = sqda::FieldType::String;
        int size = 0; // characters, kept when the column ends as text
    };

    // Throws SqlFailure when a column cannot travel in a packet: no name, a
    // name too long, or more columns than a packet may have.
    explicit PacketBuilder(std::vector<Column> columns);

    int columnCount() const { return int(m_columns.size()); }
    sqda::FieldType type(int col) const { return m_columns[size_t(col)].type; }
    qsizetype rowCount() const { return m_rows; }
    // Bytes of rows written so far.
    qsizetype byteCount() const { return m_w.size(); }

    // A row is beginRow() and then one value call per column, in order.
    void beginRow()
    {
        m_rowStart = m_w.size();
        m_w.startArray(quint64(m_columns.size()));
        ++m_rows;
    }
    void null() { m_w.null(); }
    void integer(int col, qint64 v)
    {
        Column &c = m_columns[size_t(col)];
        switch (c.type) {
        case sqda::FieldType::Int32:
            if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
                c.type = sqda::FieldType::Int64;
            [[fallthrough]];
        case sqda::FieldType::Int64:
        case sqda::FieldType::Double: // a reader takes an integer where a double is due
            m_w.integer(v);
            m_written[size_t(col)] = true;
            return;
        default:
            otherInteger(col, v);
        }
    }
    void real(int col, double v);
    void boolean(int col, bool v);
    // Text as the engine hands it; anything but valid UTF-8 is repaired (each
    // bad sequence becomes U+FFFD) so the packet always reads.
    void text(int col, const char *utf8, qsizetype n)
    {
        if (m_columns[size_t(col)].type == sqda::FieldType::String)
            stringValue(utf8, n);
        else
            textInTypedColumn(col, utf8, n);
    }
    // Bytes, shown as lower-case hexadecimal text.
    void bytes(int col, const uchar *data, qsizetype n);
    // A checked calendar date as `yyyy-MM-dd`.
    void date(int col, QByteArrayView isoDate);
    void dateTime(int col, const QDateTime &when);

    // The packet: the header with the settled types, then the rows.
    QByteArray finish();

    // Lets go of the memory this thread keeps for its next packet (a
    // measurement of memory use starts from here, like malloc_trim).
    static void releaseSpare() { spareBuffer() = QByteArray(); }

    // Whether `utf8` is well-formed UTF-8 (no overlong forms, no surrogates,
    // nothing above U+10FFFF): what the packet reader accepts.
    static bool isValidUtf8(const char *utf8, qsizetype n);

private:
    void stringValue(const char *utf8, qsizetype n)
    {
        if (sqda::Utf8::isValid(utf8, n))
            m_w.textUtf8(QByteArrayView(utf8, n));
        else
            m_w.text(QString::fromUtf8(utf8, n));
    }
    // The last packet this thread built, whose memory the next one reuses.
    static QByteArray &spareBuffer();
    static constexpr qsizetype MaxSpareBytes = qsizetype(160) << 20;
    void otherInteger(int col, qint64 v);
    void textInTypedColumn(int col, const char *utf8, qsizetype n);
    // Turns `col` into a text column, rewriting the values already written.
    void makeText(int col);

    std::vector<Column> m_columns;
    std::vector<bool> m_written; // a value (not null) was written in the column
    sqda::PacketWriter m_w;
    qsizetype m_frontRoom = 0;
    qsizetype m_rows = 0;
    qsizetype m_rowStart = 0; // where the row being written begins
};

} // namespace kalmora
