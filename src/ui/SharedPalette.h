// One palette object per set of colours, for the style options of widgets that
// carry colours of their own.
//
// Qt's styles keep what they have painted (a combo box's rounded frame, a
// header section's gradient) in the pixmap cache under a name made of the
// option's palette cache key. Every widget given colours of its own holds a
// palette with a key of its own, so each new window painted again what the last
// one had kept. A style option whose palette is replaced by the shared one with
// the same colours finds those pictures.
#pragma once

#include <QPalette>

namespace sqda {

// The shared palette with the colours of `palette` (every group and role),
// with the colour group `palette` has as its current one.
QPalette sharedPalette(const QPalette &palette);

} // namespace sqda
