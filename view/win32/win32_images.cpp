#include "view/win32/win32_images.h"

#include <objidl.h>
// GDI+'s C++ header wants min and max of its own.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <cctype>

#include "platform/windows/win32_text.h"

namespace fhsw {

struct Win32Images::Picture {
    IStream* stream = nullptr;  // GDI+ reads the image from it while drawing
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    ~Picture() {
        bitmap.reset();
        if (stream) stream->Release();
    }
};

Win32Images::Win32Images() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

Win32Images::~Win32Images() {
    loaded_.clear();
    if (token_) Gdiplus::GdiplusShutdown(token_);
}

Win32Images::Picture* Win32Images::find(const std::string& name) {
    auto it = loaded_.find(name);
    if (it != loaded_.end()) return it->second.get();
    auto& slot = loaded_[name];  // a picture that cannot be loaded stays null
    if (!token_ || name.empty()) return nullptr;

    std::string key = name;
    for (char& c : key) c = c == '.' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, Widen(key).c_str(), MAKEINTRESOURCEW(10) /*RT_RCDATA*/);
    if (!found) return nullptr;
    const DWORD size = SizeofResource(module, found);
    const void* bytes = LockResource(LoadResource(module, found));
    if (!bytes || size == 0) return nullptr;

    // The stream owns a copy of the bytes for as long as the bitmap lives.
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return nullptr;
    if (void* dst = GlobalLock(copy)) {
        CopyMemory(dst, bytes, size);
        GlobalUnlock(copy);
    }
    auto picture = std::make_unique<Picture>();
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &picture->stream))) {
        GlobalFree(copy);
        return nullptr;
    }
    picture->bitmap.reset(Gdiplus::Bitmap::FromStream(picture->stream));
    if (!picture->bitmap || picture->bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
    slot = std::move(picture);
    return slot.get();
}

bool Win32Images::draw(const std::string& name, HDC dc, int x, int y, UINT dpi,
                       const RECT& clip) {
    Picture* picture = find(name);
    if (!picture) return false;
    Gdiplus::Graphics graphics(dc);
    graphics.SetClip(Gdiplus::Rect(clip.left, clip.top, clip.right - clip.left,
                                   clip.bottom - clip.top));
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    const int w = MulDiv(static_cast<int>(picture->bitmap->GetWidth()), dpi, 96);
    const int h = MulDiv(static_cast<int>(picture->bitmap->GetHeight()), dpi, 96);
    graphics.DrawImage(picture->bitmap.get(), x, y, w, h);
    return true;
}

}  // namespace fhsw
