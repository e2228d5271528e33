// libFuzzer target: any text given as a filter expression is parsed or refused
// without crashing; whatever binds to the fixture's columns runs, and its column
// sweep agrees with the row-at-a-time test on every row.
#include "data/FilterProgram.h"

#include <cstdlib>

namespace {

const sqda::DataStore &fixture()
{
    using sqda::FieldType;
    static const sqda::DataStore store = [] {
        sqda::DataStore s({ { QStringLiteral("s"), FieldType::String, 20, {} },
            { QStringLiteral("i"), FieldType::Int32, 0, {} }, { QStringLiteral("l"), FieldType::Int64, 0, {} },
            { QStringLiteral("d"), FieldType::Double, 0, {} }, { QStringLiteral("b"), FieldType::Bool, 0, {} },
            { QStringLiteral("dt"), FieldType::Date, 0, {} }, { QStringLiteral("ts"), FieldType::DateTime, 0, {} } });
        const char16_t *texts[] = { u"", u"a", u"A%_", u"东城", u"0101", u"'", u"\U00020000x", u"abcabc" };
        for (int r = 0; r < 24; ++r) {
            if (r % 7 == 3) {
                for (int c = 0; c < s.columnCount(); ++c)
                    s.appendNull(c);
            } else {
                s.appendString(0, QStringView(texts[r % 8]));
                s.appendInt(1, r - 12);
                s.appendInt(2, qint64(r) << 40);
                s.appendDouble(3, r % 5 == 0 ? -0.5 * r : 1e300 * (r % 3 - 1));
                s.appendBool(4, r % 2);
                s.appendDate(5, QDate(2024, 1 + r % 12, 1 + r));
                s.appendDateTime(6, QDateTime(QDate(2024, 2, 29), QTime(r, 0)));
            }
            s.commitRow();
        }
        return s;
    }();
    return store;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    auto expr = sqda::FilterExpression::parse(text);
    if (!expr)
        return 0;
    auto program = sqda::FilterProgram::bind(*expr, fixture().defs());
    if (!program)
        return 0;
    const sqda::DataStore &s = fixture();
    const std::vector<quint32> swept = program->select(s);
    std::vector<quint32> one;
    for (qsizetype r = 0; r < s.rowCount(); ++r) {
        if (program->passes(s, r))
            one.push_back(quint32(r));
    }
    if (one != swept)
        std::abort();
    return 0;
}
