#include "CodeLevels.h"

#include <tradearea/CodeRules.h>

#include <QStringList>

namespace kalmora {

std::optional<CodeLevels> CodeLevels::parse(const QString &text, QString *error)
{
    auto refuse = [&] {
        if (error)
            *error = QStringLiteral("商圈分级“%1”无效：每一级的编码长度应为 1 到 9 位的数字！").arg(text);
        return std::nullopt;
    };
    if (text.isEmpty())
        return refuse();
    CodeLevels levels;
    int total = 0;
    for (const QChar c : text) {
        if (c < u'1' || c > u'9')
            return refuse();
        total += c.digitValue();
        levels.m_lengths << total;
    }
    levels.m_text = text;
    return levels;
}

CodeLevels::Shape CodeLevels::shapeOf(const QString &code) const
{
    Shape s;
    if (code.isEmpty()) {
        s.error = QStringLiteral("商圈编码不能为空！");
        return s;
    }
    for (const QChar c : code) {
        if (c < u'0' || c > u'9') {
            s.error = QStringLiteral("商圈编码“%1”只能由数字 0 到 9 组成！").arg(code);
            return s;
        }
    }
    const int index = int(m_lengths.indexOf(int(code.size())));
    if (index < 0) {
        QStringList allowed;
        for (int n : m_lengths)
            allowed << QString::number(n);
        s.error = QStringLiteral("商圈编码“%1”长 %2 位，不符合本部门的商圈分级 %3：编码长度应为 %4 位！")
                      .arg(code)
                      .arg(code.size())
                      .arg(sqda::CodeRules::formatCodeLevels(m_text), allowed.join(QStringLiteral("、")));
        return s;
    }
    s.level = index + 1;
    if (index > 0)
        s.parentCode = code.left(m_lengths[index - 1]);
    return s;
}

} // namespace kalmora
