// The shortcut popup's arithmetic: the size of its text, where it goes on the
// screen, and its dithered shadow. Pure functions, testable without a screen.
#pragma once

#include <QRect>
#include <QStringList>

#include <array>

class QFontMetrics;

namespace sqda {

// Room the popup adds around its text: box, text inset and shadow.
constexpr int PopupExtraWidth = 40;
constexpr int PopupExtraHeight = 30;
constexpr int PopupShadowSize = 16;

// Rows of the 8 × 8 shadow pattern from the top; the most significant bit is
// the leftmost pixel. A set bit stands for the fill colour, a clear bit for the
// font colour; the pattern repeats from the popup's top-left corner.
constexpr std::array<quint8, 8> ShadowPattern = { 0xAA, 0x00, 0x55, 0x00, 0xAA, 0x00, 0x55, 0x00 };

constexpr bool shadowPatternBit(int x, int y)
{
    return (ShadowPattern[std::size_t(y & 7)] >> (7 - (x & 7))) & 1;
}

// Width of the widest line ('&' marks an underlined letter and takes no room)
// and one line height per line, no wrapping.
QSize measurePopupText(const QFontMetrics &fm, const QStringList &lines);

// The popup window: its top-left is xPos / yPos, or where it centres the text
// (not the window) when that value is 0; its size is the text's plus the frame
// and shadow.
QRect placePopup(const QRect &screen, const QSize &text, int xPos, int yPos);

} // namespace sqda
