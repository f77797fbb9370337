#pragma once

#include <cmath>

// Window geometry is designed in twips, 15 to a device-independent pixel.
namespace Twips {

constexpr int PerPixel = 15;

constexpr float fromPixels(int pixels)
{
    return float(pixels) * PerPixel;
}

// The nearest pixel; a half pixel rounds away from zero.
inline int toPixels(float twips)
{
    return int(std::lround(twips / PerPixel));
}

// Where a window of the given outer extent starts so that it sits in the
// middle of the screen, in single precision: half twips are kept, and a
// screen smaller than the window gives a negative position.
constexpr float centred(float screenTwips, float outerTwips)
{
    return (screenTwips - outerTwips) / 2;
}

} // namespace Twips
