#include "AreaImportPlan.h"

#include "TradeArea.h"

#include <algorithm>

namespace sqda {

namespace {

bool allDigits(QStringView s)
{
    for (QChar c : s)
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return false;
    return true;
}

// The cumulative code lengths of the levels, or none when the text does not
// describe lengths.
std::vector<int> levelLengths(const QString &codeLevels)
{
    std::vector<int> lengths;
    int total = 0;
    for (QChar c : codeLevels) {
        if (c < QLatin1Char('1') || c > QLatin1Char('9'))
            return {};
        total += c.digitValue();
        lengths.push_back(total);
    }
    return lengths;
}

// Codes of digits only, compared unit by unit as QString compares them; inline,
// since the plan compares every code with its neighbour.
bool codeLess(QStringView a, QStringView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i)
        if (a[i] != b[i])
            return a[i].unicode() < b[i].unicode();
    return a.size() < b.size();
}

bool sameCode(QStringView a, QStringView b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

bool hasPrefix(QStringView code, QStringView prefix)
{
    return code.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), code.begin());
}

// Why a row cannot be taken whatever the department holds; empty when it can.
QString rowProblem(
    const ImportRow &in, const std::vector<int> &lengths, const QString &codeLevels, int nameWidth, int *level)
{
    if (!in.problem.isEmpty())
        return in.problem;
    if (in.code.isEmpty())
        return QStringLiteral("商圈编码为空");
    if (in.code.size() == 1)
        return QStringLiteral("商圈编码只有1位");
    if (!allDigits(in.code))
        return QStringLiteral("商圈编码只能是数字");
    if (in.code.size() > TradeArea::CodeWidth)
        return QStringLiteral("商圈编码超过%1位").arg(TradeArea::CodeWidth);
    if (in.name.isEmpty())
        return QStringLiteral("商圈名称为空");
    if (in.name.size() > nameWidth)
        return QStringLiteral("商圈名称超过%1个字").arg(nameWidth);
    if (!lengths.empty()) {
        const auto at = std::find(lengths.begin(), lengths.end(), int(in.code.size()));
        if (at == lengths.end())
            return QStringLiteral("商圈编码的长度不符合商圈分级（%1）").arg(codeLevels);
        *level = int(at - lengths.begin()) + 1;
    }
    return {};
}

} // namespace

AreaImportPlan AreaImportPlan::make(
    ImportRows rows, const QHash<QString, QString> &existing, const QString &codeLevels, int nameWidth)
{
    const std::vector<int> lengths = levelLengths(codeLevels);
    AreaImportPlan plan;
    // The accepted rows are decided in place in this one vector; the refused
    // ones, few in a sound file, gather beside it.
    std::vector<PlanRow> &out = plan.m_rows;
    out.reserve(rows.size());
    std::vector<PlanRow> refused;

    // Row by row: what the row itself shows. The codes and names stay views of
    // the file's texts, which the plan keeps.
    bool inCodeOrder = true;
    for (const ImportRow &in : rows) {
        int level = 0;
        QString problem = rowProblem(in, lengths, codeLevels, nameWidth, &level);
        if (!problem.isEmpty()) {
            PlanRow &r = refused.emplace_back();
            r.line = in.line;
            r.code = in.code;
            r.name = in.name;
            r.reason = std::move(problem);
            continue;
        }
        if (inCodeOrder && !out.empty() && codeLess(in.code, out.back().code))
            inCodeOrder = false;
        // Filled in place: a row built aside and moved costs a copy of all of it.
        PlanRow &r = out.emplace_back();
        r.line = in.line;
        r.verdict = PlanRow::New;
        r.level = level;
        r.code = in.code;
        r.name = in.name;
    }

    // In code order a parent, a prefix of its children's codes, comes first. A
    // file written in tree order is in code order already.
    if (!inCodeOrder)
        std::stable_sort(
            out.begin(), out.end(), [](const PlanRow &a, const PlanRow &b) { return codeLess(a.code, b.code); });

    // The accepted new codes that are prefixes of the code in hand, longest last:
    // in code order a code's ancestors from the file are all on it. Views of the
    // file's texts.
    std::vector<QStringView> lineage;
    const auto known = [&](QStringView code) {
        for (QStringView c : lineage)
            if (sameCode(c, code))
                return true;
        return !existing.isEmpty() && existing.contains(code.toString());
    };
    QStringView previousCode; // a duplicate follows its first row, in file order
    int previousLine = 0;
    size_t kept = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        PlanRow &r = out[i];
        const auto refuse = [&](QString why) {
            r.verdict = PlanRow::Refused;
            r.reason = std::move(why);
            refused.push_back(std::move(r));
        };
        if (!previousCode.isEmpty() && sameCode(previousCode, r.code)) {
            refuse(QStringLiteral("与第%1行的商圈编码重复").arg(previousLine));
            continue;
        }
        previousCode = r.code;
        previousLine = r.line;
        while (!lineage.empty() && !hasPrefix(r.code, lineage.back()))
            lineage.pop_back();
        if (const auto stored = existing.isEmpty() ? existing.cend() : existing.constFind(r.code.toString());
            stored != existing.cend()) {
            r.storedName = stored->trimmed();
            r.verdict = r.storedName == r.name ? PlanRow::Same : PlanRow::OtherName;
        } else {
            // The parent: by the level structure when it is known, else the
            // longest stored or accepted code the code begins with.
            QStringView parent;
            bool parentKnown = true;
            if (!lengths.empty()) {
                if (r.level > 1) {
                    parent = QStringView(r.code).left(lengths[size_t(r.level - 2)]);
                    parentKnown = known(parent);
                }
            } else {
                for (qsizetype len = r.code.size() - 1; len >= 2 && parent.isEmpty(); --len)
                    if (known(QStringView(r.code).left(len)))
                        parent = QStringView(r.code).left(len);
            }
            if (!parentKnown) {
                refuse(QStringLiteral("上级商圈%1既不在本部门，也不在文件里（或未通过检查）").arg(parent));
                continue;
            }
            lineage.push_back(r.code);
        }
        ++plan.m_counts[size_t(r.verdict)];
        if (kept != i)
            out[kept] = std::move(r);
        ++kept;
    }
    out.erase(out.begin() + qsizetype(kept), out.end());

    std::stable_sort(
        refused.begin(), refused.end(), [](const PlanRow &a, const PlanRow &b) { return a.line < b.line; });
    out.insert(out.end(), std::make_move_iterator(refused.begin()), std::make_move_iterator(refused.end()));
    plan.m_counts[PlanRow::Refused] = int(refused.size());
    plan.m_source = std::move(rows);
    return plan;
}

int AreaImportPlan::count(PlanRow::Verdict verdict) const
{
    return size_t(verdict) < m_counts.size() ? m_counts[size_t(verdict)] : 0;
}

QString AreaImportPlan::verdictText(const PlanRow &row, bool updateNames)
{
    switch (row.verdict) {
    case PlanRow::New:
        return QStringLiteral("新增");
    case PlanRow::Same:
        return QStringLiteral("已存在，名称相同，跳过");
    case PlanRow::OtherName:
        return updateNames ? QStringLiteral("已存在，改名（原名“%1”）").arg(row.storedName)
                           : QStringLiteral("已存在，名称不同（“%1”），跳过").arg(row.storedName);
    case PlanRow::Refused:
        return QStringLiteral("拒绝：") + row.reason;
    }
    return {};
}

} // namespace sqda
