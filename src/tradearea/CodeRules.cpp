#include "CodeRules.h"

namespace sqda::CodeRules {

QString nodeText(QStringView code, QStringView name)
{
    QString text;
    text.reserve(code.size() + 1 + name.size());
    text.append(code);
    text.append(QLatin1Char(' '));
    text.append(name);
    return text;
}

NewAreaProblem checkNewArea(const QString &code, const QString &name)
{
    const QString c = code.trimmed();
    if (c.isEmpty())
        return NewAreaProblem::CodeEmpty;
    if (c.size() == 1)
        return NewAreaProblem::CodeOneCharacter;
    if (name.trimmed().isEmpty())
        return NewAreaProblem::NameEmpty;
    return NewAreaProblem::None;
}

QString problemMessage(NewAreaProblem problem)
{
    switch (problem) {
    case NewAreaProblem::CodeEmpty:
        return QStringLiteral("商圈编码不能为空!");
    case NewAreaProblem::CodeOneCharacter:
        return QStringLiteral("第一级商圈编码长度不能为1位!");
    case NewAreaProblem::NameEmpty:
        return QStringLiteral("商圈名称不能为空!");
    case NewAreaProblem::None:
        break;
    }
    return {};
}

bool isCodeCharacterAccepted(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == 8 || u == 13 || u == u'(';
}

QString formatCodeLevels(QStringView levels)
{
    QString text;
    text.reserve(levels.size() * 4);
    for (qsizetype i = 0; i < levels.size(); ++i) {
        text += QLatin1Char('[');
        text += levels[i];
        // A character outside the basic plane stays whole.
        if (levels[i].isHighSurrogate() && i + 1 < levels.size() && levels[i + 1].isLowSurrogate())
            text += levels[++i];
        text += QStringLiteral("]-");
    }
    text.chop(1);
    return text;
}

} // namespace sqda::CodeRules
