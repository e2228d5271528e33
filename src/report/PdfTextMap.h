// Repairs the text maps (ToUnicode CMaps) of a PDF written by Qt, so copied or
// extracted text reads as it was printed.
//
// Qt maps each embedded glyph back to the lowest code point the font maps to it.
// The Simplified Chinese faces draw many ideographs with the glyph of a radical
// of the same shape, so 一, 日 and 页 came back as the radicals ⼀ (U+2F00), ⽇ and
// ⻚, which no search for the text finds; the space glyph came back as a tab.
// The repair rewrites those targets in place: a code point is four hex digits
// either way, so no offset in the file moves.
#pragma once

#include <QFile>
#include <QFont>
#include <QHash>

#include <vector>

namespace sqda::report {

// Radical (U+2E80…U+2FDF) → the unified ideograph the given fonts draw with the
// same glyph, plus tab → space.
QHash<char16_t, char16_t> textMapRepairs(const std::vector<QFont> &fonts);

// Rewrites the targets of every bfchar and bfrange entry of the CMaps in `data`
// (a whole PDF); sources (glyph ids) stay. Returns how many targets changed.
int repairTextMaps(char *data, qsizetype size, const QHash<char16_t, char16_t> &repairs);

// The same on an open file, a window of `window` bytes mapped at a time (grown for
// a CMap longer than that), so a PDF of any length is repaired in place with a
// few megabytes resident. Returns how many targets changed, or -1 when the file
// cannot be mapped.
int repairTextMapsInFile(QFile &file, const QHash<char16_t, char16_t> &repairs, qsizetype window = 2 << 20);

} // namespace sqda::report
