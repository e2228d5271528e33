// Strict UTF-8 for packet text: what counts as well-formed (no overlong forms,
// no surrogates, nothing above U+10FFFF) and the conversion to UTF-16.
//
// Packets carry millions of short strings, mostly ASCII codes and Chinese
// names; both functions take ASCII eight bytes at a time and a three-byte
// character without a call, which a general-purpose decoder's per-call set-up
// and state handling cost several times over.
#pragma once

#include <QtGlobal>

#include <cstring>

namespace sqda::Utf8 {

namespace detail {

constexpr quint64 HighBits = 0x8080808080808080ULL;

// The length of the sequence `b` starts and the allowed range of its second
// byte; 0 for a byte no well-formed sequence starts with.
inline int leadLength(uchar b, uchar *lo, uchar *hi)
{
    *lo = 0x80;
    *hi = 0xbf;
    if (b >= 0xc2 && b <= 0xdf)
        return 2;
    if (b >= 0xe0 && b <= 0xef) {
        if (b == 0xe0)
            *lo = 0xa0; // no overlong forms
        else if (b == 0xed)
            *hi = 0x9f; // no surrogates
        return 3;
    }
    if (b >= 0xf0 && b <= 0xf4) {
        if (b == 0xf0)
            *lo = 0x90;
        else if (b == 0xf4)
            *hi = 0x8f; // nothing above U+10FFFF
        return 4;
    }
    return 0;
}

// Whether the `len`-byte sequence at `s` (with `avail` bytes left) is whole and
// well-formed.
inline bool wellFormed(const uchar *s, qsizetype avail, int len, uchar lo, uchar hi)
{
    if (len == 0 || avail < len || s[1] < lo || s[1] > hi)
        return false;
    for (int k = 2; k < len; ++k) {
        if ((s[k] & 0xc0) != 0x80)
            return false;
    }
    return true;
}

// The one walk over the bytes both functions below make: with `Write` it also
// stores the UTF-16 units. Returns the units, or -1 at the first fault.
template<bool Write> qsizetype walk(const char *utf8, qsizetype n, char16_t *out)
{
    const auto *s = reinterpret_cast<const uchar *>(utf8);
    qsizetype i = 0, o = 0;
    while (i < n) {
        while (i + 8 <= n) {
            quint64 w;
            std::memcpy(&w, s + i, 8);
            if (w & HighBits)
                break;
            if constexpr (Write) {
                for (int k = 0; k < 8; ++k)
                    out[o + k] = char16_t(s[i + k]);
            }
            i += 8;
            o += 8;
        }
        if (i + 4 <= n) { // the short codes most cells hold
            quint32 w;
            std::memcpy(&w, s + i, 4);
            if (!(w & quint32(HighBits))) {
                if constexpr (Write) {
                    for (int k = 0; k < 4; ++k)
                        out[o + k] = char16_t(s[i + k]);
                }
                i += 4;
                o += 4;
                continue;
            }
        }
        if (i >= n)
            break;
        const uchar b = s[i];
        if (b < 0x80) {
            if constexpr (Write)
                out[o] = char16_t(b);
            ++o;
            ++i;
            continue;
        }
        // Most Chinese characters: a three-byte lead whose second byte may be
        // any continuation byte; both continuations checked at once. A run of
        // them (a name) stays in this loop instead of probing for ASCII first.
        if ((b & 0xf0) == 0xe0 && b != 0xe0 && b != 0xed && n - i >= 3) {
            do {
                if (((s[i + 1] & 0xc0) | ((s[i + 2] & 0xc0) >> 2)) != 0xa0)
                    return -1;
                if constexpr (Write)
                    out[o] = char16_t(((s[i] & 0x0f) << 12) | ((s[i + 1] & 0x3f) << 6) | (s[i + 2] & 0x3f));
                ++o;
                i += 3;
            } while (n - i >= 3 && (s[i] & 0xf0) == 0xe0 && s[i] != 0xe0 && s[i] != 0xed);
            continue;
        }
        uchar lo, hi;
        const int len = leadLength(b, &lo, &hi);
        if (!wellFormed(s + i, n - i, len, lo, hi))
            return -1;
        if constexpr (Write) {
            switch (len) {
            case 2:
                out[o] = char16_t(((b & 0x1f) << 6) | (s[i + 1] & 0x3f));
                break;
            case 3:
                out[o] = char16_t(((b & 0x0f) << 12) | ((s[i + 1] & 0x3f) << 6) | (s[i + 2] & 0x3f));
                break;
            default: {
                const char32_t c = (char32_t(b & 0x07) << 18) | (char32_t(s[i + 1] & 0x3f) << 12)
                    | (char32_t(s[i + 2] & 0x3f) << 6) | char32_t(s[i + 3] & 0x3f);
                out[o] = char16_t(0xd800 + ((c - 0x10000) >> 10));
                out[o + 1] = char16_t(0xdc00 + ((c - 0x10000) & 0x3ff));
            }
            }
        }
        o += len == 4 ? 2 : 1;
        i += len;
    }
    return o;
}

} // namespace detail

// Whether `n` bytes at `utf8` are well-formed UTF-8.
inline bool isValid(const char *utf8, qsizetype n)
{
    return detail::walk<false>(utf8, n, nullptr) >= 0;
}

// Converts `n` bytes of UTF-8 at `utf8` into `out`, which has room for `n`
// units (UTF-16 never needs more units than UTF-8 has bytes). Returns the
// units written, or -1 when the bytes are not well-formed.
inline qsizetype toUtf16(const char *utf8, qsizetype n, char16_t *out)
{
    return detail::walk<true>(utf8, n, out);
}

} // namespace sqda::Utf8
