// The pinyin keys of names, which staff type to find an area: "dcsq" or
// "dongcheng" for 东城商圈.
//
// Each text gets two keys, both lower case: its full pinyin without tones and
// its initials (the first letter of each Han character's reading). Characters
// come through ICU's transliteration (Han-Latin, then Latin-ASCII); a character
// that is not Han keeps itself in both keys ("A区": initials "aq", full "aqu"),
// in its ASCII form where ICU has one (full-width "Ａ" is "a"). Only letters and
// digits make up a key: spaces, brackets and dashes are left out, so a user never
// has to type them.
//
// Transliterating is slow (tens of microseconds a character, a quarter of a
// second to open the transliterator), so each distinct character is
// transliterated once per process and remembered; a text's keys are then
// assembled by lookup. A character has exactly one reading: ICU's (see
// docs/dataset.md, "Finding by pinyin").
#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <memory>
#include <vector>

namespace sqda {

class DataStore;

class PinyinKeys
{
public:
    struct Key
    {
        QString full;
        QString initials;
    };
    // The keys of one text.
    static Key of(QStringView text);

    // The keys of every row of a text column (store order); null cells and
    // columns of other types get empty keys.
    static PinyinKeys forColumn(const DataStore &store, int col);

    // Keys of texts appended one by one; text i's keys are full(i), initials(i).
    void append(QStringView text);
    void appendEmpty();
    qsizetype size() const { return qsizetype(m_refs.size()); }
    QStringView full(qsizetype i) const
    {
        const Ref &r = m_refs[size_t(i)];
        return QStringView(m_units.get() + r.offset, qsizetype(r.fullLength));
    }
    QStringView initials(qsizetype i) const
    {
        const Ref &r = m_refs[size_t(i)];
        return QStringView(m_units.get() + r.offset + r.fullLength, qsizetype(r.initialsLength));
    }
    // `needle` as needle() makes it: found anywhere in the initials or the full
    // pinyin, or at the start of either.
    bool contains(qsizetype i, QStringView needle) const
    {
        return keyContains(initials(i), needle) || keyContains(full(i), needle);
    }
    bool startsWith(qsizetype i, QStringView needle) const
    {
        return keyStartsWith(initials(i), needle) || keyStartsWith(full(i), needle);
    }

    // Exact searches in a key: a scan for the first character, then a
    // comparison, quicker on texts as short as keys than a general search.
    static bool keyContains(QStringView key, QStringView needle)
    {
        const qsizetype n = needle.size();
        if (n == 0)
            return true;
        const char16_t *k = key.utf16();
        const char16_t *s = needle.utf16();
        for (qsizetype i = 0, last = key.size() - n; i <= last; ++i) {
            if (k[i] == s[0] && std::equal(s + 1, s + n, k + i + 1))
                return true;
        }
        return false;
    }
    static bool keyStartsWith(QStringView key, QStringView needle)
    {
        return key.size() >= needle.size() && std::equal(needle.utf16(), needle.utf16() + needle.size(), key.utf16());
    }

    // What a user typed, as the keys hold it: lower case.
    static QString needle(QStringView typed);
    // True for a non-empty text of the Latin letters A-Z and a-z only.
    static bool isLatinLetters(QStringView text);

private:
    struct Ref
    {
        quint32 offset; // full pinyin, then the initials right after it
        quint32 fullLength;
        quint32 initialsLength;
    };
    // Room for `n` more units at the end. The buffer grows by doubling without
    // clearing what it reserves: a million names' keys are tens of megabytes.
    char16_t *room(size_t n)
    {
        if (m_capacity - m_size < n)
            grow(n);
        return m_units.get() + m_size;
    }
    void grow(size_t n);
    // One text's keys; the caller holds the reading table's lock.
    void appendLocked(QStringView text);

    std::unique_ptr<char16_t[]> m_units;
    size_t m_size = 0;
    size_t m_capacity = 0;
    std::vector<Ref> m_refs;
    std::vector<char16_t> m_scratch; // the initials of the text being built
};

} // namespace sqda
