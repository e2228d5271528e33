#include "SharedPalette.h"

#include <QList>

namespace sqda {

QPalette sharedPalette(const QPalette &palette)
{
    // A few palettes are in use at a time; the oldest goes first when a new
    // one comes and the list is full, which costs its pictures a repaint only.
    constexpr qsizetype Kept = 16;
    static QList<QPalette> kept;
    QPalette shared;
    const qsizetype at = kept.indexOf(palette);
    if (at >= 0) {
        shared = kept.at(at);
    } else {
        if (kept.size() == Kept)
            kept.removeFirst();
        kept.append(palette);
        shared = palette;
    }
    shared.setCurrentColorGroup(palette.currentColorGroup());
    return shared;
}

} // namespace sqda
