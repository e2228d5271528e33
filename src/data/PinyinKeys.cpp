#include "PinyinKeys.h"

#include "DataStore.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utrans.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace sqda {

namespace {

bool isAsciiAlnum(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

void appendCodePoint(std::vector<char16_t> &out, UChar32 cp)
{
    if (cp <= 0xFFFF) {
        out.push_back(char16_t(cp));
    } else {
        out.push_back(char16_t(U16_LEAD(cp)));
        out.push_back(char16_t(U16_TRAIL(cp)));
    }
}

struct TransliteratorCloser
{
    void operator()(UTransliterator *t) const { utrans_close(t); }
};

// One character's keys: `fullLength` units of full pinyin at `offset` in the
// pool, then `initialsLength` units of initials.
struct Reading
{
    quint32 offset = 0;
    quint8 fullLength = 0;
    quint8 initialsLength = 0;
    bool known = false;
};

// The keys of every character beyond ASCII met so far in this process, each
// transliterated once. Readings never change, so the table is shared by all
// datasets and trees; the mutex is taken once per text or per column.
class ReadingTable
{
public:
    static ReadingTable &instance()
    {
        static ReadingTable table;
        return table;
    }

    std::mutex mutex;

    // The caller holds `mutex`. The reference stays valid; pool() may move.
    const Reading &reading(char32_t cp)
    {
        Reading *r;
        if (cp <= 0xFFFF) {
            if (m_bmp.empty())
                m_bmp.resize(0x10000);
            r = &m_bmp[cp];
        } else {
            r = &m_astral[cp];
        }
        if (!r->known)
            compute(cp, *r);
        return *r;
    }
    const char16_t *pool() const { return m_pool.data(); }

private:
    UTransliterator *transliterator()
    {
        if (!m_opened) {
            m_opened = true;
            UErrorCode status = U_ZERO_ERROR;
            m_trans.reset(utrans_openU(u"Han-Latin; Latin-ASCII", -1, UTRANS_FORWARD, nullptr, 0, nullptr, &status));
            if (U_FAILURE(status))
                m_trans.reset(); // no transliteration data: every character keeps itself
        }
        return m_trans.get();
    }

    void compute(char32_t cp, Reading &out)
    {
        constexpr int32_t Capacity = 64;
        UChar buf[Capacity];
        int32_t len = 0;
        U16_APPEND_UNSAFE(buf, len, UChar32(cp));
        if (UTransliterator *t = transliterator()) {
            int32_t limit = len;
            UErrorCode status = U_ZERO_ERROR;
            utrans_transUChars(t, buf, &len, Capacity, 0, &limit, &status);
            if (U_FAILURE(status) || len > Capacity) {
                len = 0;
                U16_APPEND_UNSAFE(buf, len, UChar32(cp));
            }
        }
        UErrorCode status = U_ZERO_ERROR;
        const bool han = uscript_getScript(UChar32(cp), &status) == USCRIPT_HAN && U_SUCCESS(status);

        // Full: the letters and digits of the transliteration, lower case.
        // Initials: for a Han character the first letter of each syllable,
        // otherwise the same as the full key.
        std::vector<char16_t> full, initials;
        bool wordStart = true;
        for (int32_t i = 0; i < len;) {
            UChar32 c;
            U16_NEXT(buf, i, len, c);
            if (!u_isalnum(c)) {
                wordStart = true;
                continue;
            }
            const UChar32 lower = c < 0x80 ? UChar32(asciiLower(char16_t(c))) : u_tolower(c);
            appendCodePoint(full, lower);
            if (!han || wordStart)
                appendCodePoint(initials, lower);
            wordStart = false;
        }
        full.resize(std::min<size_t>(full.size(), 255));
        initials.resize(std::min<size_t>(initials.size(), 255));
        out.offset = quint32(m_pool.size());
        out.fullLength = quint8(full.size());
        out.initialsLength = quint8(initials.size());
        m_pool.insert(m_pool.end(), full.begin(), full.end());
        m_pool.insert(m_pool.end(), initials.begin(), initials.end());
        out.known = true;
    }

    std::vector<Reading> m_bmp; // by code point, allocated at the first character beyond ASCII
    std::unordered_map<char32_t, Reading> m_astral;
    std::vector<char16_t> m_pool;
    std::unique_ptr<UTransliterator, TransliteratorCloser> m_trans;
    bool m_opened = false;
};

} // namespace

PinyinKeys::Key PinyinKeys::of(QStringView text)
{
    PinyinKeys keys;
    keys.append(text);
    return { keys.full(0).toString(), keys.initials(0).toString() };
}

void PinyinKeys::append(QStringView text)
{
    const std::lock_guard lock(ReadingTable::instance().mutex);
    appendLocked(text);
}

void PinyinKeys::appendEmpty()
{
    m_refs.push_back({ quint32(m_size), 0, 0 });
}

void PinyinKeys::grow(size_t n)
{
    const size_t capacity = std::max({ m_capacity * 2, m_size + n, size_t(64) });
    std::unique_ptr<char16_t[]> units(new char16_t[capacity]); // not cleared
    if (m_size)
        std::memcpy(units.get(), m_units.get(), m_size * sizeof(char16_t));
    m_units = std::move(units);
    m_capacity = capacity;
}

void PinyinKeys::appendLocked(QStringView text)
{
    ReadingTable &table = ReadingTable::instance();
    const qsizetype n = text.size();
    const char16_t *s = text.utf16();
    const size_t start = m_size;
    // A character adds at most 255 units to each key.
    if (m_scratch.size() < size_t(n) * 255)
        m_scratch.resize(size_t(n) * 255);
    char16_t *initials = m_scratch.data();
    size_t initialsLength = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            if (isAsciiAlnum(c)) {
                const char16_t lower = asciiLower(c);
                *room(1) = lower;
                ++m_size;
                initials[initialsLength++] = lower;
            }
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            cp = QChar::surrogateToUcs4(c, s[i + 1]);
            ++i;
        }
        const Reading &r = table.reading(cp);
        const char16_t *pool = table.pool() + r.offset;
        char16_t *out = room(r.fullLength);
        for (quint32 k = 0; k < r.fullLength; ++k)
            out[k] = pool[k];
        m_size += r.fullLength;
        for (quint32 k = 0; k < r.initialsLength; ++k)
            initials[initialsLength++] = pool[r.fullLength + k];
    }
    const size_t fullLength = m_size - start;
    if (initialsLength) {
        std::memcpy(room(initialsLength), initials, initialsLength * sizeof(char16_t));
        m_size += initialsLength;
    }
    m_refs.push_back({ quint32(start), quint32(fullLength), quint32(initialsLength) });
}

PinyinKeys PinyinKeys::forColumn(const DataStore &store, int col)
{
    PinyinKeys keys;
    const qsizetype rows = store.rowCount();
    keys.m_refs.reserve(size_t(rows));
    if (col < 0 || col >= store.columnCount() || store.defs()[col].type != FieldType::String) {
        keys.m_refs.assign(size_t(rows), Ref { 0, 0, 0 });
        return keys;
    }
    const quint8 *nulls = store.nullFlags(col);
    const DataStore::StrRef *refs = store.stringRefs(col);
    const char16_t *text = store.text();
    // A Chinese name's full key is about three letters a character and its
    // initials one: five units a character are seldom outgrown.
    qsizetype units = 0;
    for (qsizetype r = 0; r < rows; ++r)
        units += nulls[r] ? 0 : qsizetype(refs[r].length);
    keys.grow(size_t(units) * 5);

    const std::lock_guard lock(ReadingTable::instance().mutex);
    for (qsizetype r = 0; r < rows; ++r) {
        if (nulls[r])
            keys.appendEmpty();
        else
            keys.appendLocked(QStringView(text + refs[r].offset, qsizetype(refs[r].length)));
    }
    return keys;
}

QString PinyinKeys::needle(QStringView typed)
{
    QString out;
    out.reserve(typed.size());
    for (QChar c : typed)
        out.append(c.unicode() < 0x80 ? QChar(asciiLower(c.unicode())) : c.toLower());
    return out;
}

bool PinyinKeys::isLatinLetters(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')))
            return false;
    }
    return true;
}

} // namespace sqda
