// The tool-bar images of the maintenance screen (ImgListTool), addressed by
// their numbers: 0 expand, 1 collapse, 2 up, 3 down, 4 add, 5 delete, 6 save,
// 7 refresh, 10 exit, 14 locate, 15 assistant. Drawn in code so the library
// ships no image files.
#pragma once

#include <QIcon>
#include <QList>

namespace sqda {

QList<QIcon> makeToolImages();

} // namespace sqda
