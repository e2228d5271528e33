// A strict reader for the subset of CBOR (RFC 8949) that data packets use.
//
// It works on the raw bytes with no allocation per item, which matters when a
// packet carries a million rows. Every read checks bounds; a malformed or
// truncated document raises DataError with the offset where it went wrong.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace sqda {

class CborReader
{
public:
    enum class Kind { Unsigned, Negative, Bytes, Text, Array, Map, Tag, Simple, Float, Break };

    // The head of the next item: its major kind and the argument (a length,
    // a value, a tag number or a simple value). `indefinite` for containers and
    // strings of unknown length.
    struct Head
    {
        Kind kind;
        quint64 value;
        bool indefinite;
        double real; // for Float
    };

    explicit CborReader(QByteArrayView bytes)
        : m_p(bytes.data())
        , m_begin(bytes.data())
        , m_end(bytes.data() + bytes.size())
    {
    }

    qsizetype offset() const { return m_p - m_begin; }
    qsizetype remaining() const { return m_end - m_p; }
    bool atEnd() const { return m_p == m_end; }

    Head peek() const
    {
        const char *p = m_p;
        return decodeHead(&p);
    }
    // Consumes the head only (string bytes and container items follow).
    Head read() { return decodeHead(&m_p); }
    bool nextIsBreak() const { return m_p < m_end && quint8(*m_p) == 0xff; }
    void readBreak();

    // A definite or indefinite text string, appended as UTF-8 bytes to `out`
    // (cleared first). Raises for anything else.
    void readTextUtf8(QByteArray &out);
    // The bytes of a definite text string without copying; false for an
    // indefinite one (then use readTextUtf8).
    bool readTextView(QByteArrayView *out);
    // A definite text string of at most 23 bytes (its length in the head's
    // first byte), the common case in rows; false, consuming nothing, for
    // anything else.
    bool readShortText(QByteArrayView *out)
    {
        if (m_p == m_end)
            return false;
        const quint8 initial = quint8(*m_p);
        const qsizetype n = initial & 0x1f;
        if ((initial >> 5) != quint8(Kind::Text) || n >= 24 || n > m_end - m_p - 1)
            return false;
        *out = QByteArrayView(m_p + 1, n);
        m_p += 1 + n;
        return true;
    }
    QString readText(qsizetype maxBytes);
    void skip(int depth = 0); // one whole item, nested ones included

    [[noreturn]] void fail(const QString &what) const;

    static constexpr quint64 SimpleFalse = 20, SimpleTrue = 21, SimpleNull = 22, SimpleUndefined = 23;

private:
    Head decodeHead(const char **pp) const
    {
        // Most heads in a packet are one byte: small integers, short strings, rows.
        const char *p = *pp;
        if (p < m_end) {
            const quint8 initial = quint8(*p);
            const int info = initial & 0x1f;
            const int major = initial >> 5;
            if (info < 24 && major != 7) {
                *pp = p + 1;
                return Head { Kind(major), quint64(info), false, 0.0 };
            }
        }
        return decodeLongHead(pp);
    }
    Head decodeLongHead(const char **pp) const;

    const char *m_p;
    const char *m_begin;
    const char *m_end;
};

} // namespace sqda
