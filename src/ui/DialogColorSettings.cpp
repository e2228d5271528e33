#include "DialogColorSettings.h"

#include "env/NumberText.h"
#include "env/Utilities.h"

#include <QDebug>

namespace sqda {

namespace {

const QString SettingsFile = QStringLiteral("Kalmorapos.ini");
const QString ColorSection = QStringLiteral("ColorOption");

} // namespace

std::optional<TColor> parseColorValue(const QString &text)
{
    // The settings' whole-number syntax, then the colour range.
    const std::optional<qint64> value = parseInt64Text(text);
    if (!value || *value < 0 || *value > 0xFFFFFF)
        return std::nullopt;
    return TColor(*value);
}

TColor readColorOption(const QString &key, TColor defaultColor)
{
    const QString text = ReadIniValue(SettingsFile, ColorSection, key, QString::number(defaultColor));
    if (const auto color = parseColorValue(text))
        return *color;
    qWarning().noquote() << QStringLiteral("%1: [%2] %3=%4 is not a colour number; using %5")
                                .arg(SettingsFile, ColorSection, key, text)
                                .arg(defaultColor);
    return defaultColor;
}

bool colorSwitchOn(const QString &switchKey)
{
    return ReadIniValue(SettingsFile, ColorSection, switchKey, QStringLiteral("0")) != QLatin1String("0");
}

void loadDialogBackColor()
{
    dialogState().DialogBackColor = readColorOption(QStringLiteral("backcolor"), SettingsDefaultBackColor);
}

void loadDialogColors()
{
    dialogState().DialogLineColor = readColorOption(QStringLiteral("linecolor"), SettingsDefaultLineColor);
    loadDialogBackColor();
}

} // namespace sqda
