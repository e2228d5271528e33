#include "DialogUnits.h"

#include <QFont>
#include <QFontMetrics>

#include <cstdlib>

namespace sqda {

int mulDivRound(int a, int b, int c)
{
    const long long num = static_cast<long long>(a) * b;
    const long long q = (std::llabs(num) * 2 + std::llabs(c)) / (2 * std::llabs(c));
    return int(((num < 0) != (c < 0)) ? -q : q);
}

DialogUnits MeasureDialogUnits(const QFont &font)
{
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics fm(font);
    return DialogUnits { fm.horizontalAdvance(letters) / 52, fm.height() };
}

} // namespace sqda
