#include "TypeAhead.h"

#include "ClientDataSet.h"
#include "PinyinKeys.h"

namespace sqda {

namespace {

// `needle` is lower case already.
bool codeStartsWith(const char16_t *code, quint32 length, QStringView needle)
{
    if (length < quint32(needle.size()))
        return false;
    for (qsizetype i = 0; i < needle.size(); ++i) {
        char16_t c = code[i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c != needle[i].unicode())
            return false;
    }
    return true;
}

} // namespace

int TypeAhead::find(ClientDataSet &dataSet, int codeCol, int nameCol, QStringView typed, int from)
{
    const int rows = dataSet.isActive() ? dataSet.recordCount() : 0;
    if (typed.isEmpty() || rows == 0)
        return -1;
    const QString needle = PinyinKeys::needle(typed);
    const DataStore &store = dataSet.store();
    const bool hasCode
        = codeCol >= 0 && codeCol < store.columnCount() && store.defs()[codeCol].type == FieldType::String;
    const bool hasName = nameCol >= 0 && nameCol < store.columnCount();
    if (!hasCode && !hasName)
        return -1;
    const PinyinKeys *keys = hasName ? &dataSet.pinyinKeysFor(nameCol) : nullptr;
    const quint8 *codeNulls = hasCode ? store.nullFlags(codeCol) : nullptr;
    const DataStore::StrRef *codes = hasCode ? store.stringRefs(codeCol) : nullptr;
    const char16_t *text = store.text();
    if (from < 0 || from >= rows)
        from = 0;
    for (int step = 0, v = from; step < rows; ++step, v = v + 1 == rows ? 0 : v + 1) {
        const qsizetype row = dataSet.storeRow(v);
        if (hasCode && !codeNulls[row] && codeStartsWith(text + codes[row].offset, codes[row].length, needle))
            return v;
        if (keys && keys->startsWith(row, needle))
            return v;
    }
    return -1;
}

} // namespace sqda
