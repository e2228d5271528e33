#include "WhereTextBuilder.h"

#include "data/ClientDataSet.h"
#include "data/FilterExpression.h"
#include "data/FilterProgram.h"
#include "env/Utilities.h"

#include <QRegularExpression>

namespace sqda {

namespace {

const QString Placeholder = QStringLiteral("<>'temp@temp@temp'");

// A text literal: quotes inside are doubled, so the value can neither end the
// literal early nor carry SQL of its own.
QString quoted(const QString &value)
{
    QString inner = value;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

// The LIKE test of a typed value between `before` and `after` ("%" or
// nothing). A value holding a character that some database's LIKE takes for
// syntax — "[" opens a character class on SQL Server, a backslash is
// PostgreSQL's default escape — is written with the backslash declared as the
// escape (ESCAPE '\'; "[" as \[, a backslash as two), which SQL Server,
// PostgreSQL, SQLite and the dataset's filter read alike; QuerySql adapts it
// for DB2 and Oracle. So the value stands for itself wherever the condition is
// applied. "%" and "_" typed by the user stay wildcards. A value without such
// characters is written as it always was.
QString likeTest(const QString &name, const char *op, const char *before, const QString &value, const char *after)
{
    QString inner = value;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    const bool escape = inner.contains(QLatin1Char('\\')) || inner.contains(QLatin1Char('['));
    if (escape) {
        inner.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        inner.replace(QLatin1Char('['), QLatin1String("\\["));
    }
    QString out = name + QLatin1String(op) + QLatin1Char('\'') + QLatin1String(before) + inner + QLatin1String(after)
        + QLatin1Char('\'');
    if (escape)
        out += QLatin1String(" ESCAPE '\\'");
    return out;
}

bool isNumberText(const QString &t)
{
    // The forms both the databases and the dataset filter read as a number.
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?([eE][+-]?[0-9]+)?$"));
    return number.match(t).hasMatch();
}

QString nonTextRule(const BuilderField &field)
{
    const QString head = QStringLiteral("字段“%1”不是文本字段，").arg(field.label);
    switch (field.type) {
    case FieldType::Int32:
    case FieldType::Int64:
    case FieldType::Double:
        return head + QStringLiteral("值只能是一个数字（例如 12、-1.5）。");
    case FieldType::Date:
        return head + QStringLiteral("值只能是一个用单引号括起的日期（例如 '2024-01-31'）。");
    case FieldType::DateTime:
        return head + QStringLiteral("值只能是一个用单引号括起的日期或时间（例如 '2024-01-31 08:30:00'）。");
    case FieldType::Bool:
        return head + QStringLiteral("值只能是 1、0，或用单引号括起的 'True'、'False'。");
    default:
        return head + QStringLiteral("值只能是一个数字，或一个用单引号括起的值（例如 '2024-01-31'）。");
    }
}

// Whether the dataset's filter takes `literal` for a field of `type`: the
// field's real type decides, so a value the filter would refuse is refused
// where it is typed, and a search means what the same filter means.
bool suitsType(FieldType type, const QString &literal)
{
    if (type == FieldType::String)
        return true; // the type is not known: any number or literal
    const Result<FilterExpression> e = FilterExpression::parse(QStringLiteral("v = ") + literal);
    return e && FilterProgram::bind(*e, { FieldDef { QStringLiteral("v"), type, 0, {}, true } }).ok();
}

// A value for a field that is not text: a number as typed, or one literal in
// single quotes whose inner quotes are doubled; either must suit the field's type.
Result<QString> nonTextLiteral(const BuilderField &field, const QString &value)
{
    const QString t = value.trimmed();
    QString lit;
    if (isNumberText(t))
        lit = t;
    else if (t.size() >= 2 && t.startsWith(QLatin1Char('\'')) && t.endsWith(QLatin1Char('\'')))
        lit = quoted(t.mid(1, t.size() - 2));
    if (lit.isEmpty() || !suitsType(field.type, lit))
        return Error { nonTextRule(field) };
    return lit;
}

Result<QString> literal(const BuilderField &field, const QString &value)
{
    if (field.text)
        return quoted(value);
    return nonTextLiteral(field, value);
}

// A list value: items separated by "," or ";", each an equal value or a range
// low|high (both ends included; an empty end leaves that side open). The group
// selects the rows that match any item.
Result<QString> listGroup(const BuilderField &field, const QString &name, const QString &value)
{
    static const QString open = QStringLiteral("( 1=1 ");
    static const QString close = QStringLiteral(" )");
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    if (value.isEmpty())
        return open + close;

    QStringList terms;
    for (const QString &raw : value.split(separators)) {
        const QString item = raw.trimmed();
        if (item.isEmpty())
            continue;
        if (!item.contains(QLatin1Char('|'))) {
            Result<QString> lit = literal(field, item);
            if (!lit)
                return Error { lit.error() };
            terms << name + QStringLiteral(" = ") + *lit;
            continue;
        }
        const QStringList ends = item.split(QLatin1Char('|'));
        const QString low = ends.value(0).trimmed();
        const QString high = ends.value(1).trimmed();
        if (ends.size() != 2 || (low.isEmpty() && high.isEmpty()))
            return Error { QStringLiteral("“%1”不是一个范围：范围写作 下限|上限。").arg(item) };
        Result<QString> lo = low.isEmpty() ? Result<QString>(QString()) : literal(field, low);
        Result<QString> hi = high.isEmpty() ? Result<QString>(QString()) : literal(field, high);
        if (!lo)
            return Error { lo.error() };
        if (!hi)
            return Error { hi.error() };
        if (low.isEmpty())
            terms << name + QStringLiteral(" <= ") + *hi;
        else if (high.isEmpty())
            terms << name + QStringLiteral(" >= ") + *lo;
        else
            terms << name + QStringLiteral(" Between ") + *lo + QStringLiteral(" And ") + *hi;
    }
    if (terms.isEmpty())
        return Error { QStringLiteral("值“%1”中没有可用的列表项。").arg(value) };
    const QString any
        = terms.size() == 1 ? terms.first() : QStringLiteral("( ") + terms.join(QStringLiteral(" Or ")) + close;
    return open + QStringLiteral(" And ") + any + close;
}

} // namespace

const QStringList &conditionNames()
{
    static const QStringList names = {
        QStringLiteral("等于"),
        QStringLiteral("大于"),
        QStringLiteral("大于等于"),
        QStringLiteral("小于"),
        QStringLiteral("小于等于"),
        QStringLiteral("不等于"),
        QStringLiteral("部分等于"),
        QStringLiteral("部分不等于"),
        QStringLiteral("左等于"),
    };
    return names;
}

int conditionNumber(const QString &name)
{
    return int(conditionNames().indexOf(name));
}

QList<BuilderField> builderFieldsOf(const ClientDataSet &dataSet)
{
    QList<BuilderField> out;
    out.reserve(dataSet.fieldCount());
    for (int i = 0; i < dataSet.fieldCount(); ++i) {
        const Field *f = dataSet.field(i);
        out.append({ f->fieldName(), f->displayLabel(), f->dataType() == FieldType::String, f->tag(), f->visible(),
            f->dataType() });
    }
    return out;
}

bool WhereTextBuilder::isListValue(const QString &value)
{
    return value.isEmpty() || value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('|'));
}

int WhereTextBuilder::fieldIndexOfLabel(const QString &label) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).label == label)
            return i;
    }
    return 0;
}

QString WhereTextBuilder::qualifiedName(int fieldIndex) const
{
    const BuilderField &field = fields.at(fieldIndex);
    // Tag n picks the n-th alias (pieces count from 1, so tag 0 picks none); a
    // single alias without a comma prefixes every field.
    QString prefix = PieceAt(aliasList, QLatin1Char(','), field.tag);
    if (prefix.trimmed().isEmpty() && !aliasList.trimmed().isEmpty() && !aliasList.contains(QLatin1Char(',')))
        prefix = aliasList;

    QString name = field.name;
    const QString lowerName = field.name.toLower();
    for (const QString &entry : fieldMap) {
        const QString lower = entry.toLower();
        const qsizetype at = lower.indexOf(lowerName);
        const qsizetype eq = lower.indexOf(QLatin1Char('='));
        if (at >= 0 && eq >= 0 && at < eq) {
            name = lower.mid(eq + 1);
            break;
        }
    }
    return prefix.trimmed().isEmpty() ? name : prefix + QLatin1Char('.') + name;
}

Status WhereTextBuilder::checkValue(const BuilderField &field, int condition, const QString &value)
{
    if (value.isEmpty())
        return Status();
    if (isListValue(value)) {
        if (Result<QString> group = listGroup(field, field.name, value); !group)
            return Error { group.error() };
        return Status();
    }
    if (!field.text && condition >= CondEqual && condition <= CondNotEqual) {
        if (Result<QString> lit = nonTextLiteral(field, value); !lit)
            return Error { lit.error() };
    }
    return Status();
}

Result<WhereTexts> WhereTextBuilder::build(const LogicRows &rows) const
{
    WhereTexts out;
    static const QStringList operators = {
        QStringLiteral(" = "),
        QStringLiteral(" > "),
        QStringLiteral(" >= "),
        QStringLiteral(" < "),
        QStringLiteral(" <= "),
        QStringLiteral(" <> "),
    };
    for (int i = 0; i < rows.size(); ++i) {
        const LogicRow &row = rows.at(i);
        const QString where = QStringLiteral("第 %1 行").arg(i + 1);
        // Expressions stand at even positions, relations between them.
        const bool wantRelation = i % 2 == 1;
        if (row.isRelation() != wantRelation) {
            return Error { QStringLiteral("条件列表的%1应为%2。")
                               .arg(where, wantRelation ? QStringLiteral("逻辑关系") : QStringLiteral("逻辑表达式")) };
        }
        if (row.isRelation() && i == rows.size() - 1)
            return Error { QStringLiteral("条件列表不能以逻辑关系结尾。") };
        if (row.isRelation()) {
            const QString rel = row.relation == relationAnd() ? QStringLiteral(" And ") : QStringLiteral(" OR ");
            out.whereText += rel;
            out.filterText += rel;
            continue;
        }
        if (fields.isEmpty())
            return Error { QStringLiteral("数据集没有字段，无法生成条件。") };
        const int condition = conditionNumber(row.condition);
        if (condition < 0)
            return Error { QStringLiteral("%1的条件“%2”无效，请选择一个条件。").arg(where, row.condition) };
        const int fieldIndex = fieldIndexOfLabel(row.label);
        const BuilderField &field = fields.at(fieldIndex);
        const QString name = qualifiedName(fieldIndex);

        if (isListValue(row.value)) {
            Result<QString> group = listGroup(field, name, row.value);
            if (!group)
                return Error { where + QStringLiteral("：") + group.error() };
            out.whereText += *group;
            out.filterText += *group;
            continue;
        }

        QString part;
        QString filterPart;
        switch (condition) {
        case CondContains:
            part = likeTest(name, " LIKE ", "%", row.value, "%");
            break;
        case CondNotContains:
            part = likeTest(name, " NOT LIKE ", "%", row.value, "%");
            if (filterMode) {
                filterPart = part;
                part = name + Placeholder;
                out.excludeLike = likeTest(name, " LIKE ", "%", row.value, "%");
                out.excludeField = name;
            }
            break;
        case CondStartsWith:
            part = likeTest(name, " LIKE ", "", row.value, "%");
            break;
        default: {
            Result<QString> lit = literal(field, row.value);
            if (!lit)
                return Error { where + QStringLiteral("：") + lit.error() };
            part = name + operators.at(condition) + *lit;
        }
        }
        if (filterPart.isEmpty())
            filterPart = part;
        out.whereText += QStringLiteral("( ") + part + QStringLiteral(" )");
        out.filterText += QStringLiteral("( ") + filterPart + QStringLiteral(" )");
    }
    return out;
}

} // namespace sqda
