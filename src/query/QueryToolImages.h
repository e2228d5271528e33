// The tool-bar images of the query screen (ImageList2), addressed by their
// numbers: 0 search, 1 options (columns), 2 preview, 3 print, 4 exit,
// 5 conditions, 6 assistant, 7 filter. Drawn in code so the library ships no
// image files.
#pragma once

#include <QIcon>
#include <QList>

namespace sqda {

QList<QIcon> makeQueryToolImages();

} // namespace sqda
