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
        return QStringView(m_units.data() + r.offset, qsizetype(r.fullLength));
    }
    QStringView initials(qsizetype i) const
    {
        const Ref &r = m_refs[size_t(i)];
        return QStringView(m_units.data() + r.offset + r.fullLength, qsizetype(r.initialsLength));
    }
    // `needle` as needle() makes it: found anywhere in the initials or the full
    // pinyin, or at the start of either.
    bool contains(qsizetype i, QStringView needle) const
    {
        return initials(i).contains(needle) || full(i).contains(needle);
    }
    bool startsWith(qsizetype i, QStringView needle) const
    {
        return initials(i).startsWith(needle) || full(i).startsWith(needle);
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
    std::vector<char16_t> m_units;
    std::vector<Ref> m_refs;
};

} // namespace sqda
