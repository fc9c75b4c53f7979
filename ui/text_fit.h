// How both renderers fit a label's whole text into its area: a text that fits
// at the model's size without wrapping is drawn as it is; any other is wrapped
// at word boundaries, in a face made smaller half a point at a time until it
// fits, down to kSmallestPointSize, and is also the label's tooltip, so that
// nothing is ever only cut off.
#pragma once

#include <algorithm>

#include "ui/controls.h"

namespace fhsw {

inline constexpr double kSmallestPointSize = 6;

// A window's notice (Window::notice) is drawn by the same rule, as a strip
// along the bottom of the window: bold black text on light yellow inside a
// margin (pixels at 96 DPI), followed by kNoticeHint, as tall as the text
// needs but at most half the client area (the face shrinks to fit that), with
// the whole notice as its tooltip. A click on it dismisses the notice.
inline constexpr Rgb kNoticeBackground{255, 255, 192};
inline constexpr char kNoticeHint[] = "  (click to dismiss)";
inline constexpr int kNoticeMargin = 4;

struct TextFit {
    double points;  // the face size to draw the text in
    bool oneLine;   // fits unwrapped at the model's size: no tooltip
};

// `fits(points, wrapped)`: whether the text drawn at `points`, wrapped at
// word boundaries or only at its own line ends, fits the area.
template <class Fits>
TextFit FitText(double points, Fits fits) {
    if (fits(points, false)) return {points, true};
    while (points > kSmallestPointSize && !fits(points, true))
        points = std::max(kSmallestPointSize, points - 0.5);
    return {points, false};
}

}  // namespace fhsw
