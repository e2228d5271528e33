// Whole numbers typed as text, the way the settings and the parameter table
// hold them: leading spaces, an optional sign, decimal digits or hexadecimal
// ones after "$" or "0x", nothing after the digits.
#pragma once

#include <QString>

#include <optional>

namespace sqda {

std::optional<qint64> parseInt64Text(const QString &text);

// Blanks and control characters (code points up to the space) removed from
// both ends; full-width spaces are text and stay.
QString trimBlanks(const QString &text);

} // namespace sqda
