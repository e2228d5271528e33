#include "TradeAreaTreeBuilder.h"

#include "CodeRules.h"

#include "data/DataStore.h"

#include <limits>

namespace sqda {

namespace {

Result<int> columnOf(const DataStore &store, QLatin1StringView name)
{
    const FieldDefs &defs = store.defs();
    for (int i = 0; i < defs.size(); ++i) {
        if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return Error { QStringLiteral("Field '%1' not found").arg(name) };
}

Error notInteger(const QString &text)
{
    return Error { QStringLiteral("'%1' is not a valid integer value").arg(text) };
}

Result<std::int32_t> levelAt(const DataStore &store, qsizetype row, int col)
{
    if (store.isNull(row, col))
        return 0;
    qint64 v = 0;
    switch (store.defs()[col].type) {
    case FieldType::Int32:
    case FieldType::Int64:
    case FieldType::Bool:
        v = store.integer(row, col);
        break;
    case FieldType::Double: {
        const double d = store.real(row, col);
        if (!(d >= double(std::numeric_limits<std::int32_t>::min())
                && d <= double(std::numeric_limits<std::int32_t>::max())))
            return notInteger(QString::number(d));
        v = qint64(d);
        break;
    }
    case FieldType::String: {
        const QStringView s = store.string(row, col);
        bool ok = false;
        v = s.toLongLong(&ok);
        if (!ok)
            return notInteger(s.toString());
        break;
    }
    default:
        return notInteger(store.value(row, col).toString());
    }
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
        return notInteger(QString::number(v));
    return std::int32_t(v);
}

} // namespace

Result<TradeAreaTreeBuilder::Rows> TradeAreaTreeBuilder::readRows(const DataStore &store, Codes codes)
{
    const Result<int> code = columnOf(store, QLatin1StringView("f_sqbm"));
    const Result<int> name = columnOf(store, QLatin1StringView("f_sqmc"));
    const Result<int> level = columnOf(store, QLatin1StringView("f_jb"));
    for (const Result<int> *column : { &code, &name, &level }) {
        if (!*column)
            return Error { column->error() };
    }
    const bool codeIsText = store.defs()[*code].type == FieldType::String;
    const bool nameIsText = store.defs()[*name].type == FieldType::String;

    Rows rows;
    const qsizetype n = store.rowCount();
    rows.texts.reserve(size_t(n));
    const bool apart = codes == Codes::Apart;
    if (apart)
        rows.codes.reserve(size_t(n));
    else
        rows.codeLengths.reserve(size_t(n));
    rows.levels.reserve(size_t(n));
    for (qsizetype r = 0; r < n; ++r) {
        const Result<std::int32_t> l = levelAt(store, r, *level);
        if (!l)
            return Error { l.error() };
        rows.levels.push_back(*l);
        const auto add = [&](QStringView c, QStringView m) {
            rows.texts.push_back(CodeRules::nodeText(c, m));
            if (apart)
                rows.codes.push_back(c.toString());
            else
                rows.codeLengths.push_back(std::int32_t(c.size()));
        };
        if (codeIsText && nameIsText) {
            add(store.string(r, *code), store.string(r, *name));
        } else {
            // Null reads as the empty text, as it does everywhere else.
            const QVariant c = store.value(r, *code), m = store.value(r, *name);
            add(c.isValid() ? c.toString() : QString(), m.isValid() ? m.toString() : QString());
        }
    }
    return rows;
}

std::int32_t TradeAreaTreeBuilder::next(std::int32_t level)
{
    const std::int32_t row = m_row++;
    if (level < 1 || level > MaxLevel)
        return NoNode;
    const std::int32_t placement
        = level == 1 ? UnderRoot : (m_last[level - 1] == NoNode ? TopLevel : m_last[level - 1]);
    m_last[level] = row;
    return placement;
}

std::vector<std::int32_t> TradeAreaTreeBuilder::place(const std::vector<std::int32_t> &levels)
{
    TradeAreaTreeBuilder builder;
    std::vector<std::int32_t> out;
    out.reserve(levels.size());
    for (std::int32_t level : levels)
        out.push_back(builder.next(level));
    return out;
}

} // namespace sqda
