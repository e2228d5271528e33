#include "CborReader.h"

#include "DataError.h"

#include <QStringDecoder>

#include <cmath>
#include <cstring>

namespace sqda {

namespace {

double halfToDouble(quint16 h)
{
    const int exp = (h >> 10) & 0x1f;
    const int mant = h & 0x3ff;
    double v;
    if (exp == 0)
        v = std::ldexp(mant, -24);
    else if (exp != 31)
        v = std::ldexp(mant + 1024, exp - 25);
    else
        v = mant == 0 ? INFINITY : NAN;
    return (h & 0x8000) ? -v : v;
}

} // namespace

void CborReader::fail(const QString &what) const
{
    throw DataError(QStringLiteral("数据包无效（偏移 %1）：%2").arg(offset()).arg(what));
}

CborReader::Head CborReader::decodeLongHead(const char **pp) const
{
    const char *p = *pp;
    if (p >= m_end)
        fail(QStringLiteral("数据包不完整"));
    const quint8 initial = quint8(*p++);
    const int major = initial >> 5;
    const int info = initial & 0x1f;
    Head h { Kind(major), 0, false, 0.0 };
    auto need = [&](qsizetype n) {
        if (m_end - p < n)
            fail(QStringLiteral("数据包不完整"));
    };
    quint64 arg = 0;
    if (info < 24) {
        arg = quint64(info);
    } else if (info <= 27) {
        const int n = 1 << (info - 24);
        need(n);
        for (int i = 0; i < n; ++i)
            arg = (arg << 8) | quint8(p[i]);
        p += n;
    } else if (info == 31) {
        if (major == 0 || major == 1 || major == 6)
            fail(QStringLiteral("无效的不定长标记"));
        if (major == 7) {
            h.kind = Kind::Break;
            *pp = p;
            return h;
        }
        h.indefinite = true;
    } else {
        fail(QStringLiteral("保留的附加信息值 %1").arg(info));
    }
    if (major == 7) {
        if (info == 25) {
            h.kind = Kind::Float;
            h.real = halfToDouble(quint16(arg));
        } else if (info == 26) {
            const quint32 bits = quint32(arg);
            float f;
            std::memcpy(&f, &bits, 4);
            h.kind = Kind::Float;
            h.real = double(f);
        } else if (info == 27) {
            std::memcpy(&h.real, &arg, 8);
            h.kind = Kind::Float;
        } else {
            h.kind = Kind::Simple;
        }
    }
    h.value = arg;
    *pp = p;
    return h;
}

void CborReader::readBreak()
{
    const Head h = read();
    if (h.kind != Kind::Break)
        fail(QStringLiteral("此处应为结束标记"));
}

bool CborReader::readTextView(QByteArrayView *out)
{
    const char *p = m_p;
    const Head h = decodeHead(&p);
    if (h.kind != Kind::Text)
        fail(QStringLiteral("此处应为文本"));
    if (h.indefinite)
        return false;
    if (h.value > quint64(m_end - p))
        fail(QStringLiteral("文本长度超出数据包大小"));
    *out = QByteArrayView(p, qsizetype(h.value));
    m_p = p + h.value;
    return true;
}

void CborReader::readTextUtf8(QByteArray &out)
{
    out.clear();
    QByteArrayView view;
    if (readTextView(&view)) {
        out.append(view.data(), view.size());
        return;
    }
    read(); // the indefinite head
    while (!nextIsBreak()) {
        const Head h = read();
        if (h.kind != Kind::Text || h.indefinite)
            fail(QStringLiteral("不定长文本中只能有定长文本块"));
        if (h.value > quint64(remaining()))
            fail(QStringLiteral("文本长度超出数据包大小"));
        out.append(m_p, qsizetype(h.value));
        m_p += h.value;
    }
    readBreak();
}

QString CborReader::readText(qsizetype maxBytes)
{
    QByteArray utf8;
    readTextUtf8(utf8);
    if (utf8.size() > maxBytes)
        fail(QStringLiteral("文本过长"));
    // Stateless: a character cut off at the end is an error, not state kept for a
    // next chunk that never comes.
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = dec.decode(utf8);
    if (dec.hasError())
        fail(QStringLiteral("文本不是有效的 UTF-8"));
    return s;
}

void CborReader::skip(int depth)
{
    if (depth > 64)
        fail(QStringLiteral("嵌套过深"));
    const Head h = read();
    switch (h.kind) {
    case Kind::Unsigned:
    case Kind::Negative:
    case Kind::Simple:
    case Kind::Float:
        return;
    case Kind::Break:
        fail(QStringLiteral("意外的结束标记"));
    case Kind::Bytes:
    case Kind::Text:
        if (h.indefinite) {
            while (!nextIsBreak())
                skip(depth + 1);
            readBreak();
        } else {
            if (h.value > quint64(remaining()))
                fail(QStringLiteral("长度超出数据包大小"));
            m_p += h.value;
        }
        return;
    case Kind::Tag:
        skip(depth + 1);
        return;
    case Kind::Array:
    case Kind::Map: {
        const quint64 per = h.kind == Kind::Map ? 2 : 1;
        if (h.indefinite) {
            while (!nextIsBreak()) {
                for (quint64 i = 0; i < per; ++i)
                    skip(depth + 1);
            }
            readBreak();
        } else {
            if (h.value > quint64(remaining()))
                fail(QStringLiteral("声明的长度 %1 超出数据包大小").arg(h.value));
            for (quint64 i = 0; i < h.value * per; ++i)
                skip(depth + 1);
        }
        return;
    }
    }
}

} // namespace sqda
