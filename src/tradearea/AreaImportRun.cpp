#include "AreaImportRun.h"

#include "AreaChanges.h"
#include "AreaExport.h"

#include <exception>

namespace sqda {

AreaImportRun::AreaImportRun(CoorDisp host, QString department, const AreaImportPlan &plan, bool updateNames)
    : m_host(std::move(host))
    , m_department(std::move(department))
    , m_plan(plan)
    , m_updateNames(updateNames)
{
    m_outcomes.resize(m_plan.size());
    for (size_t i = 0; i < m_plan.size(); ++i) {
        ImportOutcome &o = m_outcomes[i];
        const PlanRow r = m_plan.row(i);
        o.line = r.line;
        o.code = r.code.toString();
        o.name = r.name.toString();
        o.kind = ImportOutcome::NotRun;
        o.message = QStringLiteral("未执行");
    }
}

void AreaImportRun::cancel()
{
    if (finished())
        return;
    m_stopped = true;
    m_stopReason = QStringLiteral("用户取消了导入");
}

void AreaImportRun::step()
{
    if (finished())
        return;
    const size_t i = size_t(m_next++);
    ImportOutcome &out = m_outcomes[i];
    try {
        runRow(m_plan.row(i), out);
    } catch (const std::exception &e) {
        out.kind = ImportOutcome::Refused;
        out.message = QString::fromUtf8(e.what());
        m_stopped = true;
        m_stopReason = QStringLiteral("第%1行（%2）调用主程序时出错：%3").arg(out.line).arg(out.code, out.message);
    }
    if (out.kind != ImportOutcome::Stored && out.kind != ImportOutcome::Renamed && out.kind != ImportOutcome::Skipped)
        m_failedCodes.insert(out.code);
}

void AreaImportRun::runRow(const PlanRow &row, ImportOutcome &out)
{
    switch (row.verdict) {
    case PlanRow::Refused:
        out.kind = ImportOutcome::Refused;
        out.message = row.reason;
        return;
    case PlanRow::Same:
        out.kind = ImportOutcome::Skipped;
        out.message = QStringLiteral("已存在，名称相同");
        return;
    case PlanRow::OtherName: {
        if (!m_updateNames) {
            out.kind = ImportOutcome::Skipped;
            out.message = QStringLiteral("已存在，名称不同（“%1”），未改名").arg(row.storedName);
            return;
        }
        const Status renamed = AreaChanges(m_host, m_department).rename(out.code, out.name);
        if (!renamed) {
            out.kind = ImportOutcome::Refused;
            out.message = renamed.error();
            m_stopped = true;
            m_stopReason = QStringLiteral("第%1行改名时主程序出错：%2").arg(row.line).arg(renamed.error());
            return;
        }
        m_changed = true;
        out.kind = ImportOutcome::Renamed;
        out.message = QStringLiteral("已改名（原名“%1”）").arg(row.storedName);
        return;
    }
    case PlanRow::New:
        break;
    }
    // A parent that was not stored: its children cannot be either.
    for (qsizetype len = row.code.size() - 1; len >= 2; --len) {
        if (m_failedCodes.contains(row.code.left(len).toString())) {
            out.kind = ImportOutcome::Refused;
            out.message = QStringLiteral("上级商圈%1没有导入").arg(row.code.left(len));
            return;
        }
    }
    AreaChanges changes(m_host, m_department);
    const Result<AreaChanges::CodeCheck> check = changes.checkCode(out.code);
    if (!check) {
        out.kind = ImportOutcome::Refused;
        out.message = check.error();
        return; // the host's answer for this code; the others go on
    }
    const Result<int> level = check->level();
    if (!level) {
        out.kind = ImportOutcome::Refused;
        out.message = level.error();
        return;
    }
    const Result<QString> stored = changes.insert(m_rowSet, out.code, out.name, *level);
    if (!stored) {
        out.kind = ImportOutcome::Refused;
        out.message = stored.error();
        m_stopped = true;
        m_stopReason = QStringLiteral("第%1行（%2）存入时主程序出错：%3").arg(row.line).arg(row.code, stored.error());
        return;
    }
    m_changed = true;
    out.kind = ImportOutcome::Stored;
    out.message = QStringLiteral("已导入，第%1级").arg(*level);
}

int AreaImportRun::count(ImportOutcome::Kind kind) const
{
    int n = 0;
    for (const ImportOutcome &o : m_outcomes)
        n += o.kind == kind;
    return n;
}

QString AreaImportRun::kindText(ImportOutcome::Kind kind)
{
    switch (kind) {
    case ImportOutcome::Stored:
        return QStringLiteral("已导入");
    case ImportOutcome::Renamed:
        return QStringLiteral("已改名");
    case ImportOutcome::Skipped:
        return QStringLiteral("跳过");
    case ImportOutcome::Refused:
        return QStringLiteral("拒绝");
    case ImportOutcome::NotRun:
        return QStringLiteral("未执行");
    }
    return {};
}

QString AreaImportRun::summaryCsv() const
{
    using AreaExport::csvField;
    QString text = QStringLiteral("行号,商圈编码,商圈名称,结果,说明\r\n");
    for (const ImportOutcome &o : m_outcomes)
        text += QString::number(o.line) + QLatin1Char(',') + csvField(o.code) + QLatin1Char(',') + csvField(o.name)
            + QLatin1Char(',') + kindText(o.kind) + QLatin1Char(',')
            + csvField(QString(o.message).replace(QLatin1Char('\n'), QLatin1Char(' '))) + QLatin1String("\r\n");
    return text;
}

} // namespace sqda
