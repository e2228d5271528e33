#include "PacketWriter.h"

#include <algorithm>

namespace sqda {

PacketWriter::PacketWriter(qsizetype frontRoom)
    : m_front(frontRoom)
{
    m_size = m_front;
    ensure(0);
}

PacketWriter::PacketWriter(qsizetype frontRoom, QByteArray &&spare)
    : m_front(frontRoom)
{
    m_size = m_front;
    if (!spare.isNull() && spare.isDetached()) {
        m_buffer = std::move(spare);
        // All the room behind the start (take() may have moved the start
        // forward): within it resize() neither copies nor fills.
        m_buffer.resize(m_buffer.capacity() - m_buffer.data_ptr().freeSpaceAtBegin());
        m_data = m_buffer.data();
        m_capacity = m_buffer.size();
    }
    spare = QByteArray();
    ensure(0);
}

void PacketWriter::grow(qsizetype n)
{
    // Doubling keeps appends amortised constant; a large buffer grows by
    // realloc, which moves whole pages instead of copying them.
    const qsizetype wanted = std::max({ m_capacity * 2, m_size + n, qsizetype(4096) });
    m_buffer.resize(wanted);
    m_data = m_buffer.data();
    m_capacity = m_buffer.size();
}

void PacketWriter::text(QStringView s)
{
    const qsizetype n = s.size();
    const char16_t *u = s.utf16();
    // Most packet text is short; the common all-ASCII case is copied in one pass.
    qsizetype ascii = 0;
    while (ascii < n && u[ascii] < 0x80)
        ++ascii;
    if (ascii == n) {
        head(Text, quint64(n));
        char *p = room(n);
        for (qsizetype i = 0; i < n; ++i)
            p[i] = char(u[i]);
        commit(n);
        return;
    }
    // Length first (the head comes before the bytes), then the bytes.
    qsizetype bytes = ascii;
    for (qsizetype i = ascii; i < n; ++i) {
        const char16_t c = u[i];
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            bytes += 4;
            ++i;
        } else
            bytes += 3; // a lone surrogate is written as U+FFFD, also 3 bytes
    }
    head(Text, quint64(bytes));
    char *p = room(bytes);
    qsizetype o = 0;
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = u[i];
        if (c < 0x80) {
            p[o++] = char(c);
            continue;
        }
        if (c < 0x800) {
            p[o++] = char(0xc0 | (c >> 6));
            p[o++] = char(0x80 | (c & 0x3f));
            continue;
        }
        if (QChar::isSurrogate(c)) {
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
                c = QChar::surrogateToUcs4(char16_t(c), u[++i]);
                p[o++] = char(0xf0 | (c >> 18));
                p[o++] = char(0x80 | ((c >> 12) & 0x3f));
                p[o++] = char(0x80 | ((c >> 6) & 0x3f));
                p[o++] = char(0x80 | (c & 0x3f));
                continue;
            }
            c = 0xfffd;
        }
        p[o++] = char(0xe0 | (c >> 12));
        p[o++] = char(0x80 | ((c >> 6) & 0x3f));
        p[o++] = char(0x80 | (c & 0x3f));
    }
    commit(o);
}

QByteArray PacketWriter::take(QByteArrayView front)
{
    QByteArray out;
    if (front.size() <= m_front) {
        // The front goes into the room kept for it; dropping the unused part
        // of that room from a QByteArray only moves its start, not the bytes.
        const qsizetype start = m_front - front.size();
        if (!front.isEmpty())
            std::memcpy(m_data + start, front.data(), size_t(front.size()));
        m_buffer.resize(m_size);
        if (start > 0)
            m_buffer.remove(0, start);
        out = std::move(m_buffer);
    } else {
        out.reserve(front.size() + size());
        out.append(front);
        out.append(view());
    }
    m_buffer = QByteArray();
    m_data = nullptr;
    m_capacity = 0;
    m_size = m_front;
    return out;
}

} // namespace sqda
