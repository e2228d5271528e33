#include "AreaImportPlan.h"

#include "TradeArea.h"

#include <algorithm>

namespace sqda {

namespace {

bool allDigits(const QString &s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
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

} // namespace

AreaImportPlan AreaImportPlan::make(const std::vector<ImportRow> &rows, const QHash<QString, QString> &existing,
    const QString &codeLevels, int nameWidth)
{
    const std::vector<int> lengths = levelLengths(codeLevels);
    std::vector<PlanRow> accepted, refused;
    accepted.reserve(rows.size());
    std::vector<PlanRow> candidates;
    candidates.reserve(rows.size());

    // Row by row: what the row itself shows.
    for (const ImportRow &in : rows) {
        PlanRow r;
        r.line = in.line;
        r.code = in.code;
        r.name = in.name;
        const auto refuse = [&](const QString &why) {
            r.verdict = PlanRow::Refused;
            r.reason = why;
            refused.push_back(r);
        };
        if (!in.problem.isEmpty()) {
            refuse(in.problem);
            continue;
        }
        if (r.code.isEmpty()) {
            refuse(QStringLiteral("商圈编码为空"));
            continue;
        }
        if (r.code.size() == 1) {
            refuse(QStringLiteral("商圈编码只有1位"));
            continue;
        }
        if (!allDigits(r.code)) {
            refuse(QStringLiteral("商圈编码只能是数字"));
            continue;
        }
        if (r.code.size() > TradeArea::CodeWidth) {
            refuse(QStringLiteral("商圈编码超过%1位").arg(TradeArea::CodeWidth));
            continue;
        }
        if (r.name.isEmpty()) {
            refuse(QStringLiteral("商圈名称为空"));
            continue;
        }
        if (r.name.size() > nameWidth) {
            refuse(QStringLiteral("商圈名称超过%1个字").arg(nameWidth));
            continue;
        }
        if (!lengths.empty()) {
            const auto at = std::find(lengths.begin(), lengths.end(), int(r.code.size()));
            if (at == lengths.end()) {
                refuse(QStringLiteral("商圈编码的长度不符合商圈分级（%1）").arg(codeLevels));
                continue;
            }
            r.level = int(at - lengths.begin()) + 1;
        }
        candidates.push_back(std::move(r));
    }

    // In code order a parent, a prefix of its children's codes, comes first. A
    // file written in tree order is in code order already.
    const auto byCode = [](const PlanRow &a, const PlanRow &b) { return a.code < b.code; };
    if (!std::is_sorted(candidates.begin(), candidates.end(), byCode))
        std::stable_sort(candidates.begin(), candidates.end(), byCode);
    // The accepted new codes that are prefixes of the code in hand, longest last:
    // in code order a code's ancestors from the file are all on it.
    std::vector<QString> lineage;
    const auto known = [&](QStringView code) {
        if (std::find(lineage.begin(), lineage.end(), code) != lineage.end())
            return true;
        return !existing.isEmpty() && existing.contains(code.toString());
    };
    QString previousCode; // a duplicate follows its first row, in file order
    int previousLine = 0;
    for (PlanRow &r : candidates) {
        if (!previousCode.isEmpty() && previousCode == r.code) {
            r.verdict = PlanRow::Refused;
            r.reason = QStringLiteral("与第%1行的商圈编码重复").arg(previousLine);
            refused.push_back(std::move(r));
            continue;
        }
        previousCode = r.code;
        previousLine = r.line;
        while (!lineage.empty() && !r.code.startsWith(lineage.back()))
            lineage.pop_back();
        if (const auto stored = existing.constFind(r.code); stored != existing.cend()) {
            r.storedName = stored->trimmed();
            r.verdict = r.storedName == r.name ? PlanRow::Same : PlanRow::OtherName;
            accepted.push_back(std::move(r));
            continue;
        }
        // The parent: by the level structure when it is known, else the longest
        // stored or accepted code the code begins with.
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
            r.verdict = PlanRow::Refused;
            r.reason = QStringLiteral("上级商圈%1既不在本部门，也不在文件里（或未通过检查）").arg(parent.toString());
            refused.push_back(std::move(r));
            continue;
        }
        r.verdict = PlanRow::New;
        lineage.push_back(r.code);
        accepted.push_back(std::move(r));
    }

    std::stable_sort(
        refused.begin(), refused.end(), [](const PlanRow &a, const PlanRow &b) { return a.line < b.line; });
    AreaImportPlan plan;
    plan.m_rows = std::move(accepted);
    plan.m_rows.insert(
        plan.m_rows.end(), std::make_move_iterator(refused.begin()), std::make_move_iterator(refused.end()));
    for (const PlanRow &r : plan.m_rows)
        ++plan.m_counts[size_t(r.verdict)];
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
