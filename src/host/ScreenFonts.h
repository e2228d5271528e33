// The one face the screens and dialogs write their Chinese in.
#pragma once

#include <QFont>

namespace sqda {

// "宋体" 9 pt: 12 pixels at the 96 dpi the screens were drawn for. Given in
// pixels because every fixed layout of the screens is in pixels; the name is
// mapped to the Simplified Chinese serif face at library load.
inline QFont songTi9()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    return font;
}

} // namespace sqda
