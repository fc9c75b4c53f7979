// The pictures that windows show, taken from the executable's resources
// (PNG files embedded as RCDATA, "main.png" as MAIN_PNG) and drawn
// with GDI+.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace fhsw {

class Win32Images {
public:
    Win32Images();  // starts GDI+
    ~Win32Images();
    Win32Images(const Win32Images&) = delete;
    Win32Images& operator=(const Win32Images&) = delete;

    // Draws the picture `name` ("main.png") unscaled at 96 DPI, scaled by
    // dpi / 96 otherwise, with its top-left corner at (x, y), clipped to
    // `clip`. False when there is no such picture.
    bool draw(const std::string& name, HDC dc, int x, int y, UINT dpi, const RECT& clip);

private:
    struct Picture;
    Picture* find(const std::string& name);

    ULONG_PTR token_ = 0;
    std::map<std::string, std::unique_ptr<Picture>> loaded_;
};

}  // namespace fhsw
