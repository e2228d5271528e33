#include "SavedQuery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace sqda {

namespace {

const QString Prefix = QStringLiteral("SQ");

QJsonArray rowsToJson(const LogicRows &rows)
{
    QJsonArray out;
    for (const LogicRow &r : rows) {
        if (r.isRelation())
            out.append(QJsonArray { r.relation });
        else
            out.append(QJsonArray { r.label, r.condition, r.value });
    }
    return out;
}

Error damaged(const QString &what)
{
    return Error { QStringLiteral("记录已损坏：") + what };
}

bool isText(const QJsonValue &v)
{
    return v.isString();
}

// Rows alternate expression, relation, expression…, as the condition builder
// keeps them; anything else would build a where text nobody confirmed.
Result<LogicRows> rowsFromJson(const QJsonValue &value, const QString &listName)
{
    if (!value.isArray())
        return damaged(listName + QStringLiteral("不是一个列表"));
    const QJsonArray array = value.toArray();
    LogicRows rows;
    rows.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonArray row = array.at(i).toArray();
        const QString where = QStringLiteral("%1第 %2 行").arg(listName).arg(i + 1);
        if (i % 2 == 1) {
            const QString relation = row.at(0).toString();
            if (row.size() != 1 || !isText(row.at(0)) || (relation != relationAnd() && relation != relationOr()))
                return damaged(where + QStringLiteral("不是“并且”或“或者”"));
            rows.append(LogicRow { {}, {}, {}, relation });
        } else {
            if (row.size() != 3 || !isText(row.at(0)) || !isText(row.at(1)) || !isText(row.at(2)))
                return damaged(where + QStringLiteral("不是条件"));
            LogicRow r { row.at(0).toString(), row.at(1).toString(), row.at(2).toString(), {} };
            if (r.label.isEmpty() || conditionNumber(r.condition) < 0)
                return damaged(where + QStringLiteral("的字段或条件不能识别"));
            rows.append(r);
        }
    }
    if (rows.size() % 2 == 0 && !rows.isEmpty())
        return damaged(listName + QStringLiteral("以关系结束"));
    return rows;
}

bool validUtf16(const QString &s)
{
    return s.isValidUtf16();
}

} // namespace

Status SavedQuery::checkName(const QString &name)
{
    if (name.trimmed().isEmpty())
        return Error { QStringLiteral("查询方案的名称不能为空。") };
    if (!validUtf16(name))
        return Error { QStringLiteral("查询方案的名称含有无效的字符。") };
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return Error { QStringLiteral("查询方案的名称不能含有控制字符。") };
    }
    const qsizetype length = name.toUcs4().size();
    if (length > MaxNameLength) {
        return Error { QStringLiteral("查询方案的名称最多 %1 个字符，现在有 %2 个。").arg(MaxNameLength).arg(length) };
    }
    return Status();
}

QString SavedQuery::toLine() const
{
    QJsonArray sort;
    for (const SavedSortMark &m : sortMarks)
        sort.append(QJsonArray { m.field, m.ascending ? QStringLiteral("asc") : QStringLiteral("desc") });
    QJsonArray cols;
    for (const SavedColumn &c : columns)
        cols.append(QJsonArray { c.field, c.visible, c.width });
    const QJsonObject o {
        { QStringLiteral("name"), name },
        { QStringLiteral("search"), rowsToJson(search) },
        { QStringLiteral("filter"), rowsToJson(filter) },
        { QStringLiteral("sort"), sort },
        { QStringLiteral("columns"), cols },
        { QStringLiteral("panel"), panelShown },
        { QStringLiteral("autorun"), autoRun },
        { QStringLiteral("used"), double(lastUsed) },
    };
    // Compact JSON escapes every control character, so the line holds no break.
    return Prefix + QString::number(Version) + QLatin1Char(' ')
        + QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

Result<SavedQuery> SavedQuery::fromLine(const QString &line)
{
    if (line.size() > MaxLineLength)
        return Error { QStringLiteral("记录过长（%1 个字符）").arg(line.size()) };
    if (!line.startsWith(Prefix))
        return Error { QStringLiteral("不是查询方案的记录") };
    qsizetype digitsEnd = Prefix.size();
    while (digitsEnd < line.size() && line.at(digitsEnd).isDigit() && line.at(digitsEnd).unicode() < 128)
        ++digitsEnd;
    const QString version = line.mid(Prefix.size(), digitsEnd - Prefix.size());
    if (version.isEmpty() || digitsEnd >= line.size() || line.at(digitsEnd) != QLatin1Char(' '))
        return Error { QStringLiteral("不是查询方案的记录") };
    if (version != QString::number(Version))
        return Error { QStringLiteral("记录的版本 %1 不能识别（本程序读版本 %2）").arg(version).arg(Version) };

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line.mid(digitsEnd + 1).toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return Error { QStringLiteral("记录不完整或已损坏") };
    const QJsonObject o = doc.object();

    SavedQuery q;
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isString())
        return damaged(QStringLiteral("没有名称"));
    q.name = name.toString();
    if (const Status ok = checkName(q.name); !ok || q.name != q.name.trimmed())
        return damaged(QStringLiteral("名称不合规则"));

    Result<LogicRows> search = rowsFromJson(o.value(QStringLiteral("search")), QStringLiteral("查询条件"));
    if (!search)
        return Error { search.error() };
    q.search = *search;
    Result<LogicRows> filter = rowsFromJson(o.value(QStringLiteral("filter")), QStringLiteral("过滤条件"));
    if (!filter)
        return Error { filter.error() };
    q.filter = *filter;

    const QJsonValue sort = o.value(QStringLiteral("sort"));
    if (!sort.isArray())
        return damaged(QStringLiteral("排序不是一个列表"));
    for (const QJsonValue &v : sort.toArray()) {
        const QJsonArray m = v.toArray();
        const QString dir = m.at(1).toString();
        if (m.size() != 2 || !isText(m.at(0)) || m.at(0).toString().isEmpty()
            || (dir != QLatin1String("asc") && dir != QLatin1String("desc")))
            return damaged(QStringLiteral("排序标记不能识别"));
        q.sortMarks.append(SavedSortMark { m.at(0).toString(), dir == QLatin1String("asc") });
    }

    const QJsonValue cols = o.value(QStringLiteral("columns"));
    if (!cols.isArray())
        return damaged(QStringLiteral("列布局不是一个列表"));
    for (const QJsonValue &v : cols.toArray()) {
        const QJsonArray c = v.toArray();
        const double width = c.at(2).toDouble(-1);
        if (c.size() != 3 || !isText(c.at(0)) || c.at(0).toString().isEmpty() || !c.at(1).isBool()
            || !c.at(2).isDouble() || width != double(int(width)) || width < 1 || width > MaxWidth)
            return damaged(QStringLiteral("列布局不能识别"));
        q.columns.append(SavedColumn { c.at(0).toString(), c.at(1).toBool(), int(width) });
    }

    const QJsonValue panel = o.value(QStringLiteral("panel"));
    const QJsonValue autoRun = o.value(QStringLiteral("autorun"));
    const QJsonValue used = o.value(QStringLiteral("used"));
    if (!panel.isBool() || !autoRun.isBool() || !used.isDouble() || used.toDouble() < 0
        || used.toDouble() > 9007199254740992.0 || used.toDouble() != double(qint64(used.toDouble())))
        return damaged(QStringLiteral("设置项不能识别"));
    q.panelShown = panel.toBool();
    q.autoRun = autoRun.toBool();
    q.lastUsed = qint64(used.toDouble());
    return q;
}

} // namespace sqda
