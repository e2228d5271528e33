// Type-ahead over a dataset's view: the row a typed text leads to.
//
// A row matches when its code starts with the text (letter case ignored), or
// when its name's pinyin initials or full pinyin do (PinyinKeys). The search
// goes from a view position to the end and on from the top, so it finds the
// match nearest after the start whatever the order and the filter.
#pragma once

#include <QStringView>

namespace sqda {

class ClientDataSet;

class TypeAhead
{
public:
    // The first view position from `from` onwards, going round past the end,
    // whose row matches `typed`; -1 when none does (or `typed` is empty).
    // `codeCol` and `nameCol` are field indexes, -1 for none.
    static int find(ClientDataSet &dataSet, int codeCol, int nameCol, QStringView typed, int from);
};

} // namespace sqda
