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
