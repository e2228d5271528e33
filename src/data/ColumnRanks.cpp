#include "ColumnRanks.h"
#include "TextOrder.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace sqda {

namespace {

// Rows sorted by a 64-bit prefix of their key, ties broken by the full key.
struct Keyed
{
    quint64 prefix;
    quint32 row;
};

// Sorts `items` by (prefix, full key): the prefixes by a radix sort, a byte at a
// time from the lowest (a byte every item shares costs no pass: codes of
// digits leave most of theirs alone), then each run of equal prefixes by
// `less`. A comparison sort paid a branch it could not predict per comparison.
template<typename Less> void sortKeyed(std::vector<Keyed> &items, Less less)
{
    const size_t n = items.size();
    const auto byRow = [&](const Keyed &a, const Keyed &b) { return less(a.row, b.row); };
    if (n < 512) {
        std::sort(items.begin(), items.end(),
            [&](const Keyed &a, const Keyed &b) { return a.prefix != b.prefix ? a.prefix < b.prefix : byRow(a, b); });
        return;
    }
    std::vector<std::array<size_t, 256>> counts(8);
    for (const Keyed &k : items) {
        for (int b = 0; b < 8; ++b)
            ++counts[size_t(b)][(k.prefix >> (8 * b)) & 0xFF];
    }
    std::vector<Keyed> spare(n);
    Keyed *from = items.data(), *to = spare.data();
    for (int b = 0; b < 8; ++b) {
        std::array<size_t, 256> &at = counts[size_t(b)];
        if (at[(from[0].prefix >> (8 * b)) & 0xFF] == n)
            continue;
        size_t sum = 0;
        for (size_t &c : at) {
            const size_t here = c;
            c = sum;
            sum += here;
        }
        for (size_t i = 0; i < n; ++i)
            to[at[(from[i].prefix >> (8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != items.data())
        std::copy(from, from + n, items.data());
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && items[j].prefix == items[i].prefix)
            ++j;
        if (j - i > 1)
            std::sort(items.begin() + qsizetype(i), items.begin() + qsizetype(j), byRow);
        i = j;
    }
}

// Sorts `items` by (prefix, full key) and assigns dense ranks; `same` tells whether
// two rows with equal prefixes hold equal keys, `less` orders them.
template<typename Less, typename Same>
void rankSorted(std::vector<Keyed> &items, std::vector<quint32> &ranks, quint32 &maxRank, Less less, Same same)
{
    sortKeyed(items, less);
    quint32 rank = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i == 0 || items[i].prefix != items[i - 1].prefix || !same(items[i - 1].row, items[i].row))
            ++rank;
        ranks[items[i].row] = rank;
    }
    maxRank = rank;
}

// The unit's key in code-point order, A-Z folded when `ci`.
char16_t orderUnit(char16_t c, bool ci)
{
    if (ci && c >= u'A' && c <= u'Z')
        return char16_t(c + 32);
    return codePointOrderUnit(c);
}

// Code-point order, optionally with A-Z folded. All-ASCII text packs eight
// characters into the sort prefix, other text four.
void rankByUnits(
    const DataStore &store, int col, bool ci, bool ascii, const std::vector<quint32> &rows, ColumnRanks &out)
{
    const quint32 per = ascii ? 8 : 4;
    const int bits = ascii ? 8 : 16;
    const DataStore::StrRef *refs = store.stringRefs(col);
    const char16_t *text = store.text();
    auto unit = [&](quint32 row, quint32 i) { return orderUnit(text[refs[row].offset + i], ci); };
    std::vector<Keyed> items;
    items.reserve(rows.size());
    for (quint32 row : rows) {
        // Big-endian; shorter strings pad with 0 and sort first, as a prefix does.
        // The rest of the text and then the length decide ties.
        quint64 p = 0;
        const quint32 n = std::min<quint32>(refs[row].length, per);
        for (quint32 i = 0; i < per; ++i)
            p = (p << bits) | (i < n ? quint64(unit(row, i)) : 0);
        items.push_back({ p, row });
    }
    auto cmp = [&](quint32 a, quint32 b) {
        const quint32 la = refs[a].length, lb = refs[b].length;
        const quint32 n = std::min(la, lb);
        for (quint32 i = per; i < n; ++i) {
            const char16_t ca = unit(a, i), cb = unit(b, i);
            if (ca != cb)
                return ca < cb ? -1 : 1;
        }
        return la == lb ? 0 : (la < lb ? -1 : 1);
    };
    rankSorted(
        items, out.ranks, out.maxRank, [&](quint32 a, quint32 b) { return cmp(a, b) < 0; },
        [&](quint32 a, quint32 b) { return cmp(a, b) == 0; });
}

struct CollatorCloser
{
    void operator()(UCollator *c) const { ucol_close(c); }
};

// Text with other characters: ICU sort keys of the Chinese collation (pinyin order),
// built into one buffer, ranked, then dropped.
void rankCollated(const DataStore &store, int col, bool ci, const std::vector<quint32> &rows, ColumnRanks &out)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, CollatorCloser> coll(ucol_open("zh_CN", &status));
    if (U_FAILURE(status) || !coll) {
        // No collation data: fall back to code-point order, still a total order.
        rankByUnits(store, col, ci, false, rows, out);
        return;
    }
    const DataStore::StrRef *refs = store.stringRefs(col);
    const char16_t *text = store.text();

    std::vector<quint8> keys;
    keys.reserve(rows.size() * 16);
    std::vector<quint32> keyStart(rows.size() + 1);
    std::vector<UChar> folded;
    std::vector<Keyed> items;
    items.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const quint32 row = rows[i];
        const UChar *s = reinterpret_cast<const UChar *>(text + refs[row].offset);
        int32_t len = int32_t(refs[row].length);
        if (ci) {
            folded.resize(size_t(len) * 3 + 1);
            UErrorCode st = U_ZERO_ERROR;
            len = u_strFoldCase(folded.data(), int32_t(folded.size()), s, len, U_FOLD_CASE_DEFAULT, &st);
            s = folded.data();
        }
        keyStart[i] = quint32(keys.size());
        const size_t at = keys.size();
        keys.resize(at + 64);
        int32_t need = ucol_getSortKey(coll.get(), s, len, keys.data() + at, 64);
        if (need > 64) {
            keys.resize(at + size_t(need));
            need = ucol_getSortKey(coll.get(), s, len, keys.data() + at, need);
        }
        keys.resize(at + size_t(need));
        quint64 p = 0;
        std::memcpy(&p, keys.data() + at, std::min<size_t>(8, size_t(need)));
        items.push_back({ qFromBigEndian(p), quint32(i) }); // row here: position in `rows`
    }
    keyStart[rows.size()] = quint32(keys.size());
    // Sort keys end with a 0 byte, so memcmp over the shorter length plus one orders them.
    auto cmp = [&](quint32 a, quint32 b) {
        const quint32 la = keyStart[a + 1] - keyStart[a], lb = keyStart[b + 1] - keyStart[b];
        return std::memcmp(keys.data() + keyStart[a], keys.data() + keyStart[b], std::min(la, lb));
    };
    std::vector<quint32> localRanks(rows.size());
    rankSorted(
        items, localRanks, out.maxRank, [&](quint32 a, quint32 b) { return cmp(a, b) < 0; },
        [&](quint32 a, quint32 b) { return cmp(a, b) == 0; });
    for (size_t i = 0; i < rows.size(); ++i)
        out.ranks[rows[i]] = localRanks[i];
}

template<typename T> void rankNumbers(const T *values, const std::vector<quint32> &rows, ColumnRanks &out)
{
    std::vector<quint32> sorted = rows;
    std::stable_sort(sorted.begin(), sorted.end(), [&](quint32 a, quint32 b) { return values[a] < values[b]; });
    quint32 rank = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        if (i == 0 || values[sorted[i - 1]] < values[sorted[i]])
            ++rank;
        out.ranks[sorted[i]] = rank;
    }
    out.maxRank = rank;
}

} // namespace

ColumnRanks ColumnRanks::build(const DataStore &store, int col, bool caseInsensitive)
{
    ColumnRanks out;
    const qsizetype n = store.rowCount();
    out.ranks.assign(size_t(n), 0);
    const quint8 *nulls = store.nullFlags(col);
    std::vector<quint32> rows;
    rows.reserve(size_t(n));
    for (qsizetype r = 0; r < n; ++r) {
        if (!nulls[r])
            rows.push_back(quint32(r));
    }
    switch (store.defs()[col].type) {
    case FieldType::String: {
        const DataStore::StrRef *refs = store.stringRefs(col);
        const char16_t *text = store.text();
        bool ascii = true;
        for (quint32 r : rows) {
            const char16_t *s = text + refs[r].offset;
            for (quint32 i = 0; i < refs[r].length && ascii; ++i)
                ascii = s[i] < 0x80;
            if (!ascii)
                break;
        }
        if (ascii)
            rankByUnits(store, col, caseInsensitive, true, rows, out);
        else
            rankCollated(store, col, caseInsensitive, rows, out);
        break;
    }
    case FieldType::Double: {
        // NaN cannot be ordered; such cells sort with the nulls.
        const double *v = store.reals(col);
        std::erase_if(rows, [&](quint32 r) { return v[r] != v[r]; });
        rankNumbers(v, rows, out);
        break;
    }
    default:
        rankNumbers(store.ints(col), rows, out);
        break;
    }
    return out;
}

std::vector<quint32> sortRows(qsizetype rowCount, const std::vector<SortKey> &keys)
{
    std::vector<quint32> order(static_cast<size_t>(rowCount));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = quint32(i);
    // Least significant key first; each pass is a stable counting sort, so the
    // earlier passes decide among rows the later ones find equal.
    std::vector<quint32> next(order.size());
    std::vector<quint32> counts;
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) {
        const quint32 *rank = k->ranks->ranks.data();
        const quint32 top = k->ranks->maxRank;
        counts.assign(size_t(top) + 2, 0);
        auto bucket = [&](quint32 row) { return k->descending ? top - rank[row] : rank[row]; };
        for (quint32 row : order)
            ++counts[bucket(row) + 1];
        for (size_t b = 1; b < counts.size(); ++b)
            counts[b] += counts[b - 1];
        for (quint32 row : order)
            next[counts[bucket(row)]++] = row;
        order.swap(next);
    }
    return order;
}

} // namespace sqda
