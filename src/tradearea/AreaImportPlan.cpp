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
    // The accepted rows are decided in place in this one vector of small
    // entries; the refused ones, few in a sound file, gather beside it.
    std::vector<Entry> &out = plan.m_entries;
    out.reserve(rows.size());
    std::vector<Entry> refused;
    const auto detail = [&plan](QString text) {
        plan.m_details.push_back(std::move(text));
        return qint32(plan.m_details.size() - 1);
    };
    const auto codeOf = [&rows](const Entry &e) { return rows[e.source].code; };

    // Row by row: what the row itself shows.
    bool inCodeOrder = true;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ImportRow &in = rows[i];
        int level = 0;
        QString problem = rowProblem(in, lengths, codeLevels, nameWidth, &level);
        if (!problem.isEmpty()) {
            refused.push_back({ quint32(i), PlanRow::Refused, 0, detail(std::move(problem)) });
            continue;
        }
        if (inCodeOrder && !out.empty() && codeLess(in.code, codeOf(out.back())))
            inCodeOrder = false;
        out.push_back({ quint32(i), PlanRow::New, qint16(level), -1 }); // the level is at most the code width
    }

    // In code order a parent, a prefix of its children's codes, comes first. A
    // file written in tree order is in code order already.
    if (!inCodeOrder)
        std::stable_sort(
            out.begin(), out.end(), [&](const Entry &a, const Entry &b) { return codeLess(codeOf(a), codeOf(b)); });

    // The accepted new codes that are prefixes of the code in hand, longest last:
    // in code order a code's ancestors from the file are all on it.
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
        Entry &e = out[i];
        const ImportRow &r = rows[e.source];
        const auto refuse = [&](QString why) {
            e.verdict = PlanRow::Refused;
            e.detail = detail(std::move(why));
            refused.push_back(e);
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
            const QString storedName = stored->trimmed();
            e.verdict = storedName == r.name ? PlanRow::Same : PlanRow::OtherName;
            e.detail = detail(storedName);
        } else {
            // The parent: by the level structure when it is known, else the
            // longest stored or accepted code the code begins with.
            QStringView parent;
            bool parentKnown = true;
            if (!lengths.empty()) {
                if (e.level > 1) {
                    parent = r.code.left(lengths[size_t(e.level - 2)]);
                    parentKnown = known(parent);
                }
            } else {
                for (qsizetype len = r.code.size() - 1; len >= 2 && parent.isEmpty(); --len)
                    if (known(r.code.left(len)))
                        parent = r.code.left(len);
            }
            if (!parentKnown) {
                refuse(QStringLiteral("上级商圈%1既不在本部门，也不在文件里（或未通过检查）").arg(parent));
                continue;
            }
            lineage.push_back(r.code);
        }
        ++plan.m_counts[size_t(e.verdict)];
        out[kept++] = e;
    }
    out.resize(kept);

    std::stable_sort(refused.begin(), refused.end(),
        [&rows](const Entry &a, const Entry &b) { return rows[a.source].line < rows[b.source].line; });
    out.insert(out.end(), refused.begin(), refused.end());
    plan.m_counts[PlanRow::Refused] = int(refused.size());
    plan.m_source = std::move(rows);
    return plan;
}

PlanRow AreaImportPlan::row(size_t i) const
{
    const Entry &e = m_entries[i];
    const ImportRow &in = m_source[e.source];
    PlanRow r;
    r.line = in.line;
    r.verdict = e.verdict;
    r.level = e.level;
    r.code = in.code;
    r.name = in.name;
    if (e.detail >= 0)
        (e.verdict == PlanRow::Refused ? r.reason : r.storedName) = m_details[size_t(e.detail)];
    return r;
}

std::vector<PlanRow> AreaImportPlan::rows() const
{
    std::vector<PlanRow> out;
    out.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i)
        out.push_back(row(i));
    return out;
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
