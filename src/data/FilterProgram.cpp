#include "FilterProgram.h"

#include "LikePattern.h"
#include "TextOrder.h"

#include <QDate>
#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <variant>

namespace sqda {

namespace {

// A literal converted to the storage form of the column it meets.
struct Value
{
    enum class Kind : quint8 { Null, Text, Int, Real };
    Kind kind = Kind::Null;
    QString text;
    qint64 i = 0;
    double r = 0;
};

bool isTextColumn(FieldType t)
{
    return t == FieldType::String;
}

bool isRealColumn(FieldType t)
{
    return t == FieldType::Double;
}

// Code-point order, the order codes are written in and the databases compare in.
int compareText(QStringView a, QStringView b)
{
    return compareCodePoints(a, b);
}

bool holds(CompareOp op, int c)
{
    switch (op) {
    case CompareOp::Eq:
        return c == 0;
    case CompareOp::Ne:
        return c != 0;
    case CompareOp::Lt:
        return c < 0;
    case CompareOp::Le:
        return c <= 0;
    case CompareOp::Gt:
        return c > 0;
    case CompareOp::Ge:
        return c >= 0;
    }
    return false;
}

CompareOp inverse(CompareOp op)
{
    switch (op) {
    case CompareOp::Eq:
        return CompareOp::Ne;
    case CompareOp::Ne:
        return CompareOp::Eq;
    case CompareOp::Lt:
        return CompareOp::Ge;
    case CompareOp::Le:
        return CompareOp::Gt;
    case CompareOp::Gt:
        return CompareOp::Le;
    case CompareOp::Ge:
        return CompareOp::Lt;
    }
    return op;
}

CompareOp mirrored(CompareOp op) // a op b  ==  b mirrored(op) a
{
    switch (op) {
    case CompareOp::Lt:
        return CompareOp::Gt;
    case CompareOp::Le:
        return CompareOp::Ge;
    case CompareOp::Gt:
        return CompareOp::Lt;
    case CompareOp::Ge:
        return CompareOp::Le;
    default:
        return op;
    }
}

template<typename T> int compareNumber(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN compares with nothing: every comparison with it is false.
int compareReal(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return 2; // holds() is false for 2 with Eq, Lt, Le; Ne and Gt/Ge are guarded below
    return compareNumber(a, b);
}

bool holdsReal(CompareOp op, double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return false;
    return holds(op, compareNumber(a, b));
}

} // namespace

// One step of a bound program: a connective, a constant, or a test of one column.
struct FilterStep
{
    enum class Kind : quint8 { And, Or, Const, IsNull, NotNull, Test, ColumnCompare };
    Kind kind = Kind::Const;
    bool constant = true;
    int col = -1;
    int col2 = -1; // ColumnCompare
    FieldType type = FieldType::String;
    FieldType type2 = FieldType::String;

    // Test: what the value must satisfy.
    enum class Test : quint8 { Compare, Between, In, Like } test = Test::Compare;
    bool negated = false; // NOT BETWEEN, NOT IN, NOT LIKE
    CompareOp op = CompareOp::Eq;
    Value a, b; // Compare: a; Between: a..b
    std::vector<Value> list; // In (text values also in textSet)
    QSet<QString> textSet; // In on a text column
    std::unique_ptr<LikePattern> like;
    std::vector<std::unique_ptr<FilterStep>> children;

    bool testText(QStringView v) const
    {
        switch (test) {
        case Test::Compare:
            return holds(op, compareText(v, a.text));
        case Test::Between:
            return (compareText(v, a.text) >= 0 && compareText(v, b.text) <= 0) != negated;
        case Test::In:
            return textSet.contains(v.toString()) != negated;
        case Test::Like:
            return like->matches(v) != negated;
        }
        return false;
    }

    // Numbers compare as whole numbers when both sides are whole, else as doubles.
    static int cmp(qint64 v, const Value &x)
    {
        if (x.kind == Value::Kind::Int)
            return compareNumber(v, x.i);
        return compareReal(double(v), x.r);
    }
    static bool holdsCmp(CompareOp op, int c) { return c != 2 && holds(op, c); }

    bool testInt(qint64 v) const
    {
        switch (test) {
        case Test::Compare:
            return holdsCmp(op, cmp(v, a));
        case Test::Between: {
            const int lo = cmp(v, a), hi = cmp(v, b);
            if (lo == 2 || hi == 2)
                return false;
            return (lo >= 0 && hi <= 0) != negated;
        }
        case Test::In: {
            bool found = false;
            for (const Value &x : list)
                found = found || cmp(v, x) == 0;
            return found != negated;
        }
        case Test::Like:
            break;
        }
        return false;
    }

    bool testReal(double v) const
    {
        if (std::isnan(v))
            return false;
        switch (test) {
        case Test::Compare:
            return holdsReal(op, v, a.kind == Value::Kind::Int ? double(a.i) : a.r);
        case Test::Between: {
            const double lo = a.kind == Value::Kind::Int ? double(a.i) : a.r;
            const double hi = b.kind == Value::Kind::Int ? double(b.i) : b.r;
            if (std::isnan(lo) || std::isnan(hi))
                return false;
            return (v >= lo && v <= hi) != negated;
        }
        case Test::In: {
            bool found = false;
            for (const Value &x : list)
                found = found || v == (x.kind == Value::Kind::Int ? double(x.i) : x.r);
            return found != negated;
        }
        case Test::Like:
            break;
        }
        return false;
    }

    bool passes(const DataStore &s, qsizetype row) const
    {
        switch (kind) {
        case Kind::Const:
            return constant;
        case Kind::And:
            for (const auto &c : children) {
                if (!c->passes(s, row))
                    return false;
            }
            return true;
        case Kind::Or:
            for (const auto &c : children) {
                if (c->passes(s, row))
                    return true;
            }
            return false;
        case Kind::IsNull:
            return s.isNull(row, col);
        case Kind::NotNull:
            return !s.isNull(row, col);
        case Kind::ColumnCompare: {
            if (s.isNull(row, col) || s.isNull(row, col2))
                return false;
            if (isTextColumn(type))
                return holds(op, compareText(s.string(row, col), s.string(row, col2)));
            const double x = isRealColumn(type) ? s.real(row, col) : double(s.integer(row, col));
            const double y = isRealColumn(type2) ? s.real(row, col2) : double(s.integer(row, col2));
            if (!isRealColumn(type) && !isRealColumn(type2))
                return holds(op, compareNumber(s.integer(row, col), s.integer(row, col2)));
            return holdsReal(op, x, y);
        }
        case Kind::Test:
            if (s.isNull(row, col))
                return false;
            if (test == Test::Like)
                return like->matches(isTextColumn(type) ? s.string(row, col) : QStringView(s.displayText(row, col)))
                    != negated;
            if (isTextColumn(type))
                return testText(s.string(row, col));
            if (isRealColumn(type))
                return testReal(s.real(row, col));
            return testInt(s.integer(row, col));
        }
        return false;
    }

    // Once few candidates are left, the remaining children of an AND see only them,
    // as a dense list: the CPU then overlaps the cache misses of the scattered rows
    // instead of stalling on each behind a mispredicted branch. False when many are left.
    bool sweepRestOnFew(const DataStore &s, const quint32 *rows, size_t n, quint8 *mask, size_t from) const
    {
        const size_t live = size_t(std::count(mask, mask + n, quint8(1)));
        if (live * 8 > n)
            return false;
        std::vector<quint32> at, sub;
        at.reserve(live);
        sub.reserve(live);
        for (size_t i = 0; i < n; ++i) {
            if (mask[i]) {
                at.push_back(quint32(i));
                sub.push_back(rows ? rows[i] : quint32(i));
            }
        }
        std::vector<quint8> subMask(live, 1);
        for (size_t k = from; k < children.size(); ++k)
            children[k]->sweep(s, sub.data(), live, subMask.data());
        for (size_t j = 0; j < live; ++j) {
            if (!subMask[j])
                mask[at[j]] = 0;
        }
        return true;
    }

    // '%x%' over a whole column: search the arena for x with Qt's vectorised scan
    // and map each hit to its row, instead of a short, badly predicted loop per row.
    void sweepContainsUnit(const DataStore::StrRef *refs, const char16_t *text, const quint8 *nulls, size_t n,
        char16_t unit, quint8 *mask) const
    {
        // A column's texts follow one another in the arena in row order (the store
        // only appends); empty texts and nulls hold no place there.
        size_t lo = 0, hi = n;
        while (lo < n && refs[lo].length == 0)
            ++lo;
        while (hi > lo && refs[hi - 1].length == 0)
            --hi;
        const size_t first = lo < n ? refs[lo].offset : 0;
        const size_t end = hi > lo ? size_t(refs[hi - 1].offset) + refs[hi - 1].length : first;
        auto nextHit = [&](size_t from) {
            if (from >= end)
                return end;
            const qsizetype at = QStringView(text + from, qsizetype(end - from)).indexOf(QChar(unit));
            return at < 0 ? end : from + size_t(at);
        };
        // Rows without a hit fail LIKE (NOT LIKE passes them unless null); only
        // the rows holding a hit are looked at one by one. The rows in
        // between are settled in one tight sweep each.
        const auto noHit = [&](size_t from, size_t to) {
            if (negated) {
                for (size_t r = from; r < to; ++r)
                    mask[r] &= quint8(nulls[r] == 0);
            } else {
                std::fill(mask + from, mask + to, quint8(0));
            }
        };
        size_t i = 0;
        size_t hit = nextHit(first);
        while (hit < end && i < n) {
            // The first row at or after i whose text ends after the hit.
            size_t j = i;
            while (j < n && (refs[j].length == 0 || size_t(refs[j].offset) + refs[j].length <= hit))
                ++j;
            noHit(i, j);
            if (j == n) {
                i = n;
                break;
            }
            const size_t from = refs[j].offset, to = from + refs[j].length;
            if (from <= hit) {
                mask[j] &= quint8(!nulls[j] && !negated);
                i = j + 1;
                hit = nextHit(to);
            } else {
                // The hit lay in another column's text.
                i = j;
                hit = nextHit(from);
            }
        }
        noHit(i, n);
    }

    // '%x%' with one code unit over a text column, without NOT: the rows holding x
    // are listed straight from the text (see rowsHolding).
    bool listsRowsHolding(char16_t *unit) const
    {
        return kind == Kind::Test && test == Test::Like && !negated && isTextColumn(type) && like
            && like->isContainsUnit(unit);
    }

    // Every store row whose text in `col` holds `unit`, in store order. The arena is
    // searched with Qt's vectorised scan and each hit mapped to its row; no pass over
    // a mask of all rows is made, so a rare character costs the scan alone.
    std::vector<quint32> rowsHolding(const DataStore &s, char16_t unit) const
    {
        const DataStore::StrRef *refs = s.stringRefs(col);
        const char16_t *text = s.text();
        const quint8 *nulls = s.nullFlags(col);
        const size_t n = size_t(s.rowCount());
        std::vector<quint32> out;
        size_t lo = 0, hi = n;
        while (lo < n && refs[lo].length == 0)
            ++lo;
        while (hi > lo && refs[hi - 1].length == 0)
            --hi;
        if (lo >= hi)
            return out;
        const size_t end = size_t(refs[hi - 1].offset) + refs[hi - 1].length;
        auto nextHit = [&](size_t from) {
            if (from >= end)
                return end;
            const qsizetype at = QStringView(text + from, qsizetype(end - from)).indexOf(QChar(unit));
            return at < 0 ? end : from + size_t(at);
        };
        size_t i = lo;
        size_t hit = nextHit(refs[lo].offset);
        while (hit < end && i < hi) {
            // The first row at or after i whose text ends after the hit.
            size_t j = i;
            while (j < hi && (refs[j].length == 0 || size_t(refs[j].offset) + refs[j].length <= hit))
                ++j;
            if (j == hi)
                break;
            const size_t from = refs[j].offset;
            if (from <= hit) {
                if (!nulls[j])
                    out.push_back(quint32(j));
                i = j + 1;
                hit = nextHit(from + refs[j].length);
            } else {
                // The hit lay in another column's text.
                i = j;
                hit = nextHit(from);
            }
        }
        return out;
    }

    // Clears mask[i] for every candidate i that fails. `rows` null: candidate i is row i.
    void sweep(const DataStore &s, const quint32 *rows, size_t n, quint8 *mask) const
    {
        switch (kind) {
        case Kind::Const:
            if (!constant)
                std::fill(mask, mask + n, quint8(0));
            return;
        case Kind::And:
            for (size_t k = 0; k < children.size(); ++k) {
                children[k]->sweep(s, rows, n, mask);
                if (k + 1 < children.size() && sweepRestOnFew(s, rows, n, mask, k + 1))
                    return;
            }
            return;
        case Kind::Or: {
            // Each alternative sees only the candidates no earlier one let through.
            std::vector<quint8> pending(mask, mask + n);
            std::vector<quint8> passed(n, 0);
            for (const auto &c : children) {
                std::vector<quint8> trial = pending;
                c->sweep(s, rows, n, trial.data());
                for (size_t i = 0; i < n; ++i) {
                    if (trial[i]) {
                        passed[i] = 1;
                        pending[i] = 0;
                    }
                }
            }
            std::copy(passed.begin(), passed.end(), mask);
            return;
        }
        default:
            break;
        }

        const quint8 *nulls = s.nullFlags(col);
        auto run = [&](auto &&test) {
            if (rows) {
                for (size_t i = 0; i < n; ++i) {
                    if (mask[i] && !test(rows[i]))
                        mask[i] = 0;
                }
            } else {
                for (size_t i = 0; i < n; ++i) {
                    if (mask[i] && !test(quint32(i)))
                        mask[i] = 0;
                }
            }
        };

        if (kind == Kind::IsNull)
            return run([&](quint32 r) { return nulls[r] != 0; });
        if (kind == Kind::NotNull)
            return run([&](quint32 r) { return nulls[r] == 0; });
        if (kind == Kind::ColumnCompare)
            return run([&](quint32 r) { return passes(s, r); });

        if (isTextColumn(type)) {
            const DataStore::StrRef *refs = s.stringRefs(col);
            const char16_t *text = s.text();
            auto view = [&](quint32 r) { return QStringView(text + refs[r].offset, qsizetype(refs[r].length)); };
            switch (test) {
            case Test::Like: {
                const LikePattern &p = *like;
                if (char16_t unit; p.isContainsUnit(&unit)) {
                    if (!rows)
                        return sweepContainsUnit(refs, text, nulls, n, unit, mask);
                    return run([&](quint32 r) {
                        const char16_t *t = text + refs[r].offset;
                        const char16_t *e = t + refs[r].length;
                        return !nulls[r] && ((std::find(t, e, unit) != e) != negated);
                    });
                }
                if (negated)
                    return run([&](quint32 r) { return !nulls[r] && !p.matches(view(r)); });
                return run([&](quint32 r) { return !nulls[r] && p.matches(view(r)); });
            }
            case Test::Compare: {
                const QStringView lit(a.text);
                switch (op) {
                case CompareOp::Eq:
                    return run([&](quint32 r) { return !nulls[r] && view(r) == lit; });
                case CompareOp::Ne:
                    return run([&](quint32 r) { return !nulls[r] && view(r) != lit; });
                default:
                    return run([&](quint32 r) { return !nulls[r] && holds(op, compareText(view(r), lit)); });
                }
            }
            default:
                return run([&](quint32 r) { return !nulls[r] && testText(view(r)); });
            }
        }
        if (test == Test::Like) {
            const LikePattern &p = *like;
            return run([&](quint32 r) { return !nulls[r] && p.matches(s.displayText(r, col)) != negated; });
        }
        if (isRealColumn(type)) {
            const double *v = s.reals(col);
            return run([&](quint32 r) { return !nulls[r] && testReal(v[r]); });
        }
        const qint64 *v = s.ints(col);
        if (test == Test::Compare && a.kind == Value::Kind::Int) {
            const qint64 x = a.i;
            return run([&](quint32 r) { return !nulls[r] && holds(op, compareNumber(v[r], x)); });
        }
        return run([&](quint32 r) { return !nulls[r] && testInt(v[r]); });
    }
};

namespace {

class Binder
{
public:
    explicit Binder(const FieldDefs &f)
        : m_fields(f)
    {
    }

    Result<std::unique_ptr<FilterStep>> build(const FilterNode &n, bool negate)
    {
        switch (n.kind) {
        case FilterNode::Kind::Not:
            return build(*n.children.front(), !negate);
        case FilterNode::Kind::And:
        case FilterNode::Kind::Or: {
            // NOT (a AND b) is (NOT a) OR (NOT b), and the other way round.
            const bool isAnd = (n.kind == FilterNode::Kind::And) != negate;
            auto step = std::make_unique<FilterStep>();
            step->kind = isAnd ? FilterStep::Kind::And : FilterStep::Kind::Or;
            for (const auto &c : n.children) {
                auto child = build(*c, negate);
                if (!child)
                    return child;
                step->children.push_back(std::move(child.value()));
            }
            return simplify(std::move(step));
        }
        default:
            return leaf(n, negate);
        }
    }

private:
    static std::unique_ptr<FilterStep> constant(bool v)
    {
        auto s = std::make_unique<FilterStep>();
        s->kind = FilterStep::Kind::Const;
        s->constant = v;
        return s;
    }

    // Constants fold into their connective: (1=1 AND x) is x, (1=1 OR x) is true.
    static std::unique_ptr<FilterStep> simplify(std::unique_ptr<FilterStep> step)
    {
        const bool isAnd = step->kind == FilterStep::Kind::And;
        std::vector<std::unique_ptr<FilterStep>> kept;
        for (auto &c : step->children) {
            if (c->kind == FilterStep::Kind::Const) {
                if (c->constant != isAnd)
                    return constant(!isAnd);
                continue;
            }
            kept.push_back(std::move(c));
        }
        if (kept.empty())
            return constant(isAnd);
        if (kept.size() == 1)
            return std::move(kept.front());
        step->children = std::move(kept);
        return step;
    }

    Error error(int position, const QString &what) const
    {
        return Error { QStringLiteral("过滤条件有误：第 %1 个字符处%2。").arg(position).arg(what) };
    }

    int findField(const QString &name) const
    {
        for (int i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        // "alias.field" names the field; the dataset has no tables.
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot >= 0 && dot + 1 < name.size())
            return findField(name.mid(dot + 1));
        return -1;
    }

    // The literal `o` as a value comparable with a column of type `t`.
    Result<Value> convert(const FilterOperand &o, FieldType t, const QString &fieldName) const
    {
        Value v;
        if (o.kind == FilterOperand::Kind::Null)
            return v;
        if (isTextColumn(t)) {
            // A number against text compares as the text it was written as ("01" stays "01").
            v.kind = Value::Kind::Text;
            v.text = o.text;
            return v;
        }
        const QString s = o.text.trimmed();
        switch (t) {
        case FieldType::Int32:
        case FieldType::Int64:
        case FieldType::Double: {
            bool ok = false;
            const qint64 i = s.toLongLong(&ok);
            if (ok) {
                v.kind = Value::Kind::Int;
                v.i = i;
                return v;
            }
            const double d = s.toDouble(&ok);
            if (ok && std::isfinite(d)) {
                v.kind = Value::Kind::Real;
                v.r = d;
                return v;
            }
            return error(
                o.position, QStringLiteral("的 '%1' 不是数字，字段 %2 只能与数字比较").arg(o.text.left(40), fieldName));
        }
        case FieldType::Bool: {
            v.kind = Value::Kind::Int;
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1"))
                v.i = 1;
            else if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0"))
                v.i = 0;
            else
                return error(o.position,
                    QStringLiteral("的 '%1' 不是逻辑值，字段 %2 只能与 True 或 False 比较")
                        .arg(o.text.left(40), fieldName));
            return v;
        }
        case FieldType::Date:
        case FieldType::DateTime: {
            if (o.kind == FilterOperand::Kind::Text) {
                const QDateTime dt = parseDateTime(s);
                if (dt.isValid()) {
                    v.kind = Value::Kind::Int;
                    v.i = t == FieldType::Date ? dt.date().toJulianDay() : dt.toMSecsSinceEpoch();
                    if (t == FieldType::Date && dt.time() != QTime(0, 0))
                        break;
                    return v;
                }
            }
            break;
        }
        default:
            break;
        }
        return error(o.position,
            QStringLiteral("的 '%1' 不是日期，字段 %2 只能与 'yyyy-MM-dd' 形式的日期比较")
                .arg(o.text.left(40), fieldName));
    }

    static QDateTime parseDateTime(const QString &s)
    {
        static const char *const formats[] = { "yyyy-MM-dd", "yyyy/MM/dd", "yyyy.MM.dd", "yyyyMMdd",
            "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy/MM/dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss" };
        for (const char *f : formats) {
            const QDateTime dt = QDateTime::fromString(s, QLatin1String(f));
            if (dt.isValid())
                return dt;
            const QDate d = QDate::fromString(s, QLatin1String(f));
            if (d.isValid())
                return d.startOfDay();
        }
        return {};
    }

    // Two literals: numbers compare as numbers, texts as texts, a text against a
    // number as the number it holds.
    Result<int> compareLiterals(const FilterOperand &x, const FilterOperand &y) const
    {
        if (x.kind == FilterOperand::Kind::Text && y.kind == FilterOperand::Kind::Text)
            return compareText(x.text, y.text);
        auto number = [&](const FilterOperand &o) -> Result<double> {
            if (o.kind == FilterOperand::Kind::Number)
                return o.number;
            bool ok = false;
            const double d = o.text.trimmed().toDouble(&ok);
            if (!ok)
                return error(o.position, QStringLiteral("的 '%1' 不是数字，不能与数字比较").arg(o.text.left(40)));
            return d;
        };
        auto a = number(x);
        if (!a)
            return Error { a.error() };
        auto b = number(y);
        if (!b)
            return Error { b.error() };
        return compareReal(*a, *b);
    }

    Result<std::unique_ptr<FilterStep>> leaf(const FilterNode &n, bool negate)
    {
        const FilterOperand &left = n.left;
        const bool leftIsField = left.kind == FilterOperand::Kind::Field;
        int col = -1;
        if (leftIsField) {
            col = findField(left.text);
            if (col < 0)
                return error(left.position, QStringLiteral("的字段 %1 不存在").arg(left.text));
        }
        for (const FilterOperand &v : n.values) {
            if (v.kind == FilterOperand::Kind::Field && (n.kind != FilterNode::Kind::Compare))
                return error(v.position, QStringLiteral("应为常量，不能是字段 %1").arg(v.text));
        }

        if (n.kind == FilterNode::Kind::IsNull) {
            const bool wantNull = n.negated == negate;
            if (!leftIsField)
                return constant((left.kind == FilterOperand::Kind::Null) == wantNull);
            auto s = std::make_unique<FilterStep>();
            s->kind = wantNull ? FilterStep::Kind::IsNull : FilterStep::Kind::NotNull;
            s->col = col;
            return s;
        }

        if (n.kind == FilterNode::Kind::Compare) {
            const FilterOperand &right = n.values.front();
            CompareOp op = negate ? inverse(n.op) : n.op;
            if (left.kind == FilterOperand::Kind::Null || right.kind == FilterOperand::Kind::Null)
                return constant(false);
            if (right.kind == FilterOperand::Kind::Field) {
                const int col2 = findField(right.text);
                if (col2 < 0)
                    return error(right.position, QStringLiteral("的字段 %1 不存在").arg(right.text));
                if (!leftIsField) {
                    // literal op field: turn it round.
                    FilterNode flipped;
                    flipped.kind = FilterNode::Kind::Compare;
                    flipped.op = mirrored(n.op);
                    flipped.left = right;
                    flipped.values.push_back(left);
                    return leaf(flipped, negate);
                }
                return columnCompare(col, col2, op, right.position);
            }
            if (!leftIsField) {
                auto c = compareLiterals(left, right);
                if (!c)
                    return Error { c.error() };
                return constant(*c != 2 && holds(op, *c));
            }
            auto v = convert(right, m_fields[col].type, m_fields[col].name);
            if (!v)
                return Error { v.error() };
            auto s = test(col, FilterStep::Test::Compare, false);
            s->op = op;
            s->a = std::move(v.value());
            return s;
        }

        // LIKE, BETWEEN, IN.
        const bool negated = n.negated != negate;
        if (!leftIsField) {
            if (left.kind == FilterOperand::Kind::Null)
                return constant(false);
            return foldLiteral(n, negated);
        }
        const FieldType type = m_fields[col].type;
        if (n.kind == FilterNode::Kind::Like) {
            const FilterOperand &p = n.values.front();
            if (p.kind == FilterOperand::Kind::Null)
                return constant(false);
            if (LikePattern::endsInLoneEscape(p.text, n.likeEscape))
                return error(p.position, QStringLiteral("的模式以转义符结尾，转义符后应有一个字符"));
            auto s = test(col, FilterStep::Test::Like, negated);
            s->like = std::make_unique<LikePattern>(p.text, n.likeEscape);
            return s;
        }
        if (n.kind == FilterNode::Kind::Between) {
            if (n.values[0].kind == FilterOperand::Kind::Null || n.values[1].kind == FilterOperand::Kind::Null)
                return constant(false);
            auto lo = convert(n.values[0], type, m_fields[col].name);
            if (!lo)
                return Error { lo.error() };
            auto hi = convert(n.values[1], type, m_fields[col].name);
            if (!hi)
                return Error { hi.error() };
            auto s = test(col, FilterStep::Test::Between, negated);
            s->a = std::move(lo.value());
            s->b = std::move(hi.value());
            return s;
        }
        // IN: a null item never matches, and makes NOT IN unknown for every row.
        auto s = test(col, FilterStep::Test::In, negated);
        for (const FilterOperand &o : n.values) {
            if (o.kind == FilterOperand::Kind::Null) {
                if (negated)
                    return constant(false);
                continue;
            }
            auto v = convert(o, type, m_fields[col].name);
            if (!v)
                return Error { v.error() };
            if (isTextColumn(type))
                s->textSet.insert(v->text);
            s->list.push_back(std::move(v.value()));
        }
        if (s->list.empty())
            return constant(false);
        return s;
    }

    Result<std::unique_ptr<FilterStep>> foldLiteral(const FilterNode &n, bool negated)
    {
        const FilterOperand &left = n.left;
        if (n.kind == FilterNode::Kind::Like) {
            if (n.values.front().kind == FilterOperand::Kind::Null)
                return constant(false);
            if (LikePattern::endsInLoneEscape(n.values.front().text, n.likeEscape))
                return error(n.values.front().position, QStringLiteral("的模式以转义符结尾，转义符后应有一个字符"));
            return constant(LikePattern(n.values.front().text, n.likeEscape).matches(left.text) != negated);
        }
        if (n.kind == FilterNode::Kind::Between) {
            if (n.values[0].kind == FilterOperand::Kind::Null || n.values[1].kind == FilterOperand::Kind::Null)
                return constant(false);
            auto lo = compareLiterals(left, n.values[0]);
            if (!lo)
                return Error { lo.error() };
            auto hi = compareLiterals(left, n.values[1]);
            if (!hi)
                return Error { hi.error() };
            if (*lo == 2 || *hi == 2)
                return constant(false);
            return constant((*lo >= 0 && *hi <= 0) != negated);
        }
        bool found = false;
        for (const FilterOperand &o : n.values) {
            if (o.kind == FilterOperand::Kind::Null) {
                if (negated)
                    return constant(false);
                continue;
            }
            auto c = compareLiterals(left, o);
            if (!c)
                return Error { c.error() };
            found = found || *c == 0;
        }
        return constant(found != negated);
    }

    std::unique_ptr<FilterStep> test(int col, FilterStep::Test t, bool negated) const
    {
        auto s = std::make_unique<FilterStep>();
        s->kind = FilterStep::Kind::Test;
        s->col = col;
        s->type = m_fields[col].type;
        s->test = t;
        s->negated = negated;
        return s;
    }

    Result<std::unique_ptr<FilterStep>> columnCompare(int col, int col2, CompareOp op, int position) const
    {
        const FieldType t1 = m_fields[col].type;
        const FieldType t2 = m_fields[col2].type;
        auto numeric = [](FieldType t) {
            return t == FieldType::Int32 || t == FieldType::Int64 || t == FieldType::Double || t == FieldType::Bool;
        };
        const bool comparable = (isTextColumn(t1) && isTextColumn(t2)) || (numeric(t1) && numeric(t2)) || t1 == t2;
        if (!comparable) {
            return error(position,
                QStringLiteral("的字段 %1 与字段 %2 类型不同，不能比较").arg(m_fields[col].name, m_fields[col2].name));
        }
        auto s = std::make_unique<FilterStep>();
        s->kind = FilterStep::Kind::ColumnCompare;
        s->col = col;
        s->col2 = col2;
        s->type = t1;
        s->type2 = t2;
        s->op = op;
        return s;
    }

    const FieldDefs &m_fields;
};

} // namespace

FilterProgram::FilterProgram() = default;
FilterProgram::~FilterProgram() = default;
FilterProgram::FilterProgram(FilterProgram &&) noexcept = default;
FilterProgram &FilterProgram::operator=(FilterProgram &&) noexcept = default;

Result<FilterProgram> FilterProgram::bind(const FilterExpression &expression, const FieldDefs &fields)
{
    FilterProgram p;
    if (expression.isEmpty())
        return p;
    Binder b(fields);
    auto root = b.build(*expression.root(), false);
    if (!root)
        return Error { root.error() };
    if (root.value()->kind != FilterStep::Kind::Const || !root.value()->constant)
        p.m_root = std::move(root.value());
    return p;
}

bool FilterProgram::passesAll() const
{
    return !m_root;
}

bool FilterProgram::passes(const DataStore &store, qsizetype row) const
{
    return !m_root || m_root->passes(store, row);
}

std::vector<quint32> FilterProgram::select(const DataStore &store, const std::vector<quint32> *candidates) const
{
    if (!candidates && m_root) {
        // A '%x%' test that every passing row must meet lists its few rows first;
        // the other tests then see only those.
        const FilterStep *lister = nullptr;
        char16_t unit = 0;
        if (m_root->listsRowsHolding(&unit)) {
            lister = m_root.get();
        } else if (m_root->kind == FilterStep::Kind::And) {
            for (const auto &c : m_root->children) {
                if (c->listsRowsHolding(&unit)) {
                    lister = c.get();
                    break;
                }
            }
        }
        if (lister) {
            std::vector<quint32> rows = lister->rowsHolding(store, unit);
            if (lister == m_root.get())
                return rows;
            std::vector<quint8> mask(rows.size(), 1);
            for (const auto &c : m_root->children) {
                if (c.get() != lister)
                    c->sweep(store, rows.data(), rows.size(), mask.data());
            }
            size_t kept = 0;
            for (size_t i = 0; i < rows.size(); ++i) {
                if (mask[i])
                    rows[kept++] = rows[i];
            }
            rows.resize(kept);
            return rows;
        }
    }
    const size_t n = candidates ? candidates->size() : size_t(store.rowCount());
    const quint32 *rows = candidates ? candidates->data() : nullptr;
    std::vector<quint8> mask(n, 1);
    if (m_root)
        m_root->sweep(store, rows, n, mask.data());
    std::vector<quint32> out;
    out.reserve(size_t(std::count(mask.begin(), mask.end(), quint8(1))));
    for (size_t i = 0; i < n; ++i) {
        if (mask[i])
            out.push_back(rows ? rows[i] : quint32(i));
    }
    return out;
}

} // namespace sqda
