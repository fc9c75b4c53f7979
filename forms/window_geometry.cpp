#include "forms/window_geometry.h"

#include <algorithm>

namespace fhsw {

namespace {

// Left and top edge of a window with no (usable) stored place, in twips.
constexpr float kDefaultPosition = 1000;
// A window's title bar is the strip along its top. The user can take hold of
// it when at least this much of it lies on one screen (twips): 100 pixels
// across, more than the caption buttons at either end take, and half the
// strip's height.
constexpr double kTitleBarHeight = 300;
constexpr double kGrabWidth = 1500;
constexpr double kGrabHeight = 150;

bool TitleBarOnAScreen(double left, double top, double width, const std::vector<TwipsRect>& screens) {
    for (const TwipsRect& s : screens) {
        const double across = std::min(left + width, double(s.left) + s.width) - std::max(left, double(s.left));
        const double down = std::min(top + kTitleBarHeight, double(s.top) + s.height) - std::max(top, double(s.top));
        if (across >= std::min(kGrabWidth, width) && down >= kGrabHeight) return true;
    }
    return false;
}

}  // namespace

void LoadWindowGeometry(Window& w, const SettingsStore& store, const std::string& prefix,
                        float defaultWidth, float defaultHeight) {
    const float left = store.readNumber(prefix + "-Left", kDefaultPosition);
    const float top = store.readNumber(prefix + "-Top", kDefaultPosition);
    const float width = store.readNumber(prefix + "-Width", defaultWidth);
    const float height = store.readNumber(prefix + "-Height", defaultHeight);
    // A place kept from a screen that is gone (or put in by hand) would leave
    // the window out of reach for good: it opens at the default place instead.
    const std::vector<TwipsRect> screens = w.ui().host.screens();
    const bool reachable = screens.empty() || TitleBarOnAScreen(left, top, width, screens);
    w.setLeft(reachable ? left : kDefaultPosition);
    w.setTop(reachable ? top : kDefaultPosition);
    w.setWidth(width);
    w.setHeight(height);
}

void StoreWindowPosition(const Window& w, SettingsStore& store, const std::string& prefix) {
    for (const SettingValue& v : PositionValues(w, store.ProfileName(), prefix))
        store.WriteSetting(v.section, v.key, v.value);
}

std::vector<SettingValue> PositionValues(const Window& w, const std::string& section, const std::string& prefix) {
    return {{section, prefix + "-Left", FormatNumber(w.left())}, {section, prefix + "-Top", FormatNumber(w.top())}};
}

}  // namespace fhsw
