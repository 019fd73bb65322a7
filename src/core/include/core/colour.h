#pragma once

// Colours as the window has always kept them: Long values 0x00BBGGRR. The one place that
// packs and unpacks them.

#include <cstdint>

using Long = std::int32_t;

constexpr Long packedColour(int red, int green, int blue)
{
    return Long(red & 0xFF) | Long(green & 0xFF) << 8 | Long(blue & 0xFF) << 16;
}
constexpr int redOf(Long colour)
{
    return int(std::uint32_t(colour) & 0xFF);
}
constexpr int greenOf(Long colour)
{
    return int((std::uint32_t(colour) >> 8) & 0xFF);
}
constexpr int blueOf(Long colour)
{
    return int((std::uint32_t(colour) >> 16) & 0xFF);
}
// 0xRRGGBB, as "#RRGGBB" writes it, packed.
constexpr Long packedFromRgb(std::uint32_t rgb)
{
    return packedColour(int(rgb >> 16), int(rgb >> 8), int(rgb));
}

// The sixteen standard colours of an index 0 ... 15.
constexpr Long paletteColor(int index)
{
    constexpr std::uint32_t palette[16] = {
        0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xC0C0C0,
        0x808080, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    return packedFromRgb(palette[index]);
}
// The automatic curve colour of an ID: its palette colour, but black for the palette's white
// (white curves on the white map would show labels and no lines).
constexpr Long curvePaletteColor(int index)
{
    return index == 15 ? paletteColor(0) : paletteColor(index);
}
