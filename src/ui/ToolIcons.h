// What the screens' tool-bar images share: small icons painted in code, so the
// library ships no image files, and the pictures more than one screen shows.
#pragma once

#include <QIcon>
#include <QList>

#include <functional>

class QPainter;

namespace sqda {

constexpr int ToolIconSize = 16;

// Paints images 0 to count - 1, each on its own transparent, antialiased
// square; an index the painter leaves alone stays blank. When `paint` is a
// plain function, each picture is painted once per size, density and look and
// then drawn from the application's pixmap cache.
QList<QIcon> paintToolIcons(int count, const std::function<void(QPainter &, int)> &paint);

// Exit: a door with an arrow.
void paintExitIcon(QPainter &p);
// Assistant: a question mark.
void paintAssistantIcon(QPainter &p);

} // namespace sqda
