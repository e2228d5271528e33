// The exact order of texts: by Unicode code point, as SQLite's BINARY collation
// (its bytes are UTF-8), PostgreSQL's "C" collation and a code-point compare
// order them. Texts are held as UTF-16, whose code units do not sort in that
// order: a character beyond U+FFFF is a surrogate pair (0xD800-0xDFFF) and
// would sort below U+E000-U+FFFF. Shifting the units at and above 0xD800 puts
// the pairs after every other unit, which makes a unit-by-unit compare a
// code-point compare (well-formed text; a lone surrogate sorts with the pairs).
#pragma once

#include <QStringView>

#include <algorithm>

namespace sqda {

// A code unit as a key whose order is the code-point order of the text it is in.
constexpr char16_t codePointOrderUnit(char16_t u)
{
    if (u < 0xD800)
        return u;
    return u >= 0xE000 ? char16_t(u - 0x800) : char16_t(u + 0x2000);
}

// -1, 0 or 1 as `a` comes before, equals or follows `b` in code-point order.
inline int compareCodePoints(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t *pa = a.utf16();
    const char16_t *pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i])
            return codePointOrderUnit(pa[i]) < codePointOrderUnit(pb[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace sqda
