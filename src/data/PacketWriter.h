// A plain byte writer for data packets: CBOR heads and values appended to one
// growing buffer, with no stream object or device per item. The library's
// encoder and the reference host's query streamer both write through it, so
// every packet has the same layout (docs/packet-format.md).
//
// A writer may keep room in front of what it writes: a producer that learns
// its header only after the rows (the host settles column types while it
// streams) writes the rows first and puts the header in front at the end,
// without moving the rows.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <cstring>
#include <utility>

namespace sqda {

class PacketWriter
{
public:
    // CBOR major types.
    enum Major : quint8 {
        Unsigned = 0,
        Negative = 1,
        Bytes = 2,
        Text = 3,
        Array = 4,
        Map = 5,
        Tag = 6,
        Simple = 7,
    };

    // `frontRoom` bytes are kept free before the first byte written.
    explicit PacketWriter(qsizetype frontRoom = 0);
    // Writes into `spare`'s memory when nothing else shares it (a packet
    // taken earlier and since dropped by its reader): its pages are in place,
    // where a fresh buffer of a large packet is faulted in page by page.
    PacketWriter(qsizetype frontRoom, QByteArray &&spare);
    PacketWriter(PacketWriter &&other) noexcept { swap(other); }
    PacketWriter &operator=(PacketWriter &&other) noexcept
    {
        PacketWriter gone(std::move(other));
        swap(gone);
        return *this;
    }
    PacketWriter(const PacketWriter &) = delete;
    PacketWriter &operator=(const PacketWriter &) = delete;

    qsizetype size() const { return m_size - m_front; }
    void reserve(qsizetype bytes) { ensure(bytes); }

    void head(Major major, quint64 v)
    {
        char *p = room(9);
        const quint8 m = quint8(major << 5);
        if (v < 24) {
            p[0] = char(m | v);
            m_size += 1;
        } else if (v <= 0xff) {
            p[0] = char(m | 24);
            p[1] = char(v);
            m_size += 2;
        } else if (v <= 0xffff) {
            p[0] = char(m | 25);
            putBig(p + 1, quint16(v));
            m_size += 3;
        } else if (v <= 0xffffffffu) {
            p[0] = char(m | 26);
            putBig(p + 1, quint32(v));
            m_size += 5;
        } else {
            p[0] = char(m | 27);
            putBig(p + 1, v);
            m_size += 9;
        }
    }

    void null() { byte(0xf6); }
    void boolean(bool v) { byte(v ? 0xf5 : 0xf4); }
    void integer(qint64 v)
    {
        if (v >= 0)
            head(Unsigned, quint64(v));
        else
            head(Negative, quint64(-1 - v));
    }
    void real(double v)
    {
        char *p = room(9);
        p[0] = char(0xfb);
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        putBig(p + 1, bits);
        m_size += 9;
    }
    void tag(quint64 t) { head(Tag, t); }
    void startArray(quint64 count) { head(Array, count); }
    void startMap(quint64 count) { head(Map, count); }

    // Text already known to be valid UTF-8.
    void textUtf8(QByteArrayView utf8)
    {
        const qsizetype n = utf8.size();
        if (n >= 4 && n < 24) {
            // The common short cell: head and bytes in one reservation, the
            // bytes moved as two overlapping words instead of a call.
            char *p = room(1 + n);
            p[0] = char((Text << 5) | n);
            const char *src = utf8.data();
            if (n >= 8) {
                copyWords<8>(p + 1, src, n);
            } else {
                copyWords<4>(p + 1, src, n);
            }
            m_size += 1 + n;
            return;
        }
        head(Text, quint64(n));
        append(utf8.data(), n);
    }
    void textLatin1(const char *ascii) { textUtf8(QByteArrayView(ascii, qsizetype(std::strlen(ascii)))); }
    // UTF-16 text, converted on the way; a lone surrogate becomes U+FFFD so the
    // packet always holds valid UTF-8.
    void text(QStringView s);

    void append(const char *bytes, qsizetype n)
    {
        if (n == 0)
            return;
        std::memcpy(room(n), bytes, size_t(n));
        m_size += n;
    }

    // Space for `n` bytes at the end; commit() what was used of it.
    char *room(qsizetype n)
    {
        if (m_capacity - m_size < n)
            grow(n);
        return m_data + m_size;
    }
    void commit(qsizetype n) { m_size += n; }

    // What was written, as one packet. `front` (when given) is put in front of
    // it: into the room kept for it when it fits there, else by a copy.
    QByteArray take(QByteArrayView front = {});

    // The bytes written so far (without the front room).
    QByteArrayView view() const { return QByteArrayView(m_data + m_front, m_size - m_front); }
    // Drops everything written, keeping the buffer and its front room.
    void clear() { m_size = m_front; }

private:
    void swap(PacketWriter &o) noexcept
    {
        m_buffer.swap(o.m_buffer);
        std::swap(m_data, o.m_data);
        std::swap(m_size, o.m_size);
        std::swap(m_capacity, o.m_capacity);
        std::swap(m_front, o.m_front);
    }
    void byte(quint8 b)
    {
        *room(1) = char(b);
        m_size += 1;
    }
    // Copies `n` bytes, W <= n <= 3W, as words of W bytes that may overlap.
    template<int W> static void copyWords(char *to, const char *from, qsizetype n)
    {
        char a[W], b[W], c[W];
        std::memcpy(a, from, W);
        std::memcpy(b, from + n / 2 - W / 2, W);
        std::memcpy(c, from + n - W, W);
        std::memcpy(to, a, W);
        std::memcpy(to + n / 2 - W / 2, b, W);
        std::memcpy(to + n - W, c, W);
    }
    static void putBig(char *p, quint16 v)
    {
        p[0] = char(v >> 8);
        p[1] = char(v);
    }
    static void putBig(char *p, quint32 v)
    {
        for (int i = 3; i >= 0; --i, v >>= 8)
            p[i] = char(v);
    }
    static void putBig(char *p, quint64 v)
    {
        for (int i = 7; i >= 0; --i, v >>= 8)
            p[i] = char(v);
    }
    void ensure(qsizetype n)
    {
        if (m_capacity - m_size < n)
            grow(n);
    }
    void grow(qsizetype n);

    QByteArray m_buffer;
    char *m_data = nullptr;
    qsizetype m_size = 0; // bytes used, front room included
    qsizetype m_capacity = 0;
    qsizetype m_front = 0;
};

} // namespace sqda
