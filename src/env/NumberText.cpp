#include "env/NumberText.h"

#include <limits>

namespace sqda {

namespace {

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int d = -1;
    if (u >= '0' && u <= '9')
        d = u - '0';
    else if (u >= 'a' && u <= 'f')
        d = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        d = u - 'A' + 10;
    return d < base ? d : -1;
}

} // namespace

std::optional<qint64> parseInt64Text(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ')
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == u'0' && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    // The magnitude may reach 2^63 for a negative value, 2^63 - 1 otherwise.
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (negative ? 1u : 0u);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = digitValue(text.at(i), base);
        if (d < 0)
            return std::nullopt;
        if (magnitude > (limit - quint64(d)) / quint64(base))
            return std::nullopt;
        magnitude = magnitude * quint64(base) + quint64(d);
    }
    if (negative)
        return magnitude == limit ? std::numeric_limits<qint64>::min() : -qint64(magnitude);
    return qint64(magnitude);
}

QString trimBlanks(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 0x20)
        --e;
    return text.mid(b, e - b);
}

} // namespace sqda
