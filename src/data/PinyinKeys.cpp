#include "PinyinKeys.h"

#include "DataStore.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utrans.h>

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

// Appends the text's full key to `units` and its initials to `initials`.
// The caller holds the table's mutex.
void buildKeys(ReadingTable &table, QStringView text, std::vector<char16_t> &units, std::vector<char16_t> &initials)
{
    const qsizetype n = text.size();
    const char16_t *s = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            if (isAsciiAlnum(c)) {
                units.push_back(asciiLower(c));
                initials.push_back(asciiLower(c));
            }
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            cp = QChar::surrogateToUcs4(c, s[i + 1]);
            ++i;
        }
        const Reading &r = table.reading(cp);
        const char16_t *pool = table.pool();
        units.insert(units.end(), pool + r.offset, pool + r.offset + r.fullLength);
        initials.insert(
            initials.end(), pool + r.offset + r.fullLength, pool + r.offset + r.fullLength + r.initialsLength);
    }
}

} // namespace

PinyinKeys::Key PinyinKeys::of(QStringView text)
{
    PinyinKeys keys;
    keys.append(text);
    return { keys.full(0).toString(), keys.initials(0).toString() };
}

void PinyinKeys::append(QStringView text)
{
    ReadingTable &table = ReadingTable::instance();
    std::vector<char16_t> initials;
    const Ref at { quint32(m_units.size()), 0, 0 };
    {
        const std::lock_guard lock(table.mutex);
        buildKeys(table, text, m_units, initials);
    }
    m_refs.push_back({ at.offset, quint32(m_units.size()) - at.offset, quint32(initials.size()) });
    m_units.insert(m_units.end(), initials.begin(), initials.end());
}

void PinyinKeys::appendEmpty()
{
    m_refs.push_back({ quint32(m_units.size()), 0, 0 });
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
    // A Chinese name's full key is about three letters a character, its
    // initials one.
    qsizetype units = 0;
    for (qsizetype r = 0; r < rows; ++r)
        units += nulls[r] ? 0 : qsizetype(refs[r].length);
    keys.m_units.reserve(size_t(units) * 4);

    ReadingTable &table = ReadingTable::instance();
    std::vector<char16_t> initials;
    const std::lock_guard lock(table.mutex);
    for (qsizetype r = 0; r < rows; ++r) {
        const quint32 at = quint32(keys.m_units.size());
        if (!nulls[r]) {
            initials.clear();
            buildKeys(table, QStringView(text + refs[r].offset, qsizetype(refs[r].length)), keys.m_units, initials);
            keys.m_refs.push_back({ at, quint32(keys.m_units.size()) - at, quint32(initials.size()) });
            keys.m_units.insert(keys.m_units.end(), initials.begin(), initials.end());
        } else {
            keys.m_refs.push_back({ at, 0, 0 });
        }
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
