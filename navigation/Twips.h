#pragma once
// Window and control placements are given in twips (1/1440 inch); 15 twips make one
// device-independent pixel at 96 dots per inch.
#include <cmath>

namespace morrowlen {

inline constexpr int TwipsPerPixel = 15;

inline int twipsToPixels(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel));
}
inline double pixelsToTwips(int pixels) {
    return static_cast<double>(pixels) * TwipsPerPixel;
}

} // namespace morrowlen
