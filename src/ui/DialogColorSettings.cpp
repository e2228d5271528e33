#include "DialogColorSettings.h"

#include "env/Utilities.h"

#include <QDebug>

namespace sqda {

namespace {

const QString SettingsFile = QStringLiteral("Kalmorapos.ini");
const QString ColorSection = QStringLiteral("ColorOption");

} // namespace

std::optional<TColor> parseColorValue(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0')
        && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFF)
            return std::nullopt;
    }
    if (negative && value != 0)
        return std::nullopt;
    return TColor(value);
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
