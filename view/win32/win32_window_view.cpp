#include "view/win32/win32_window_view.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/windows/win32_text.h"
#include "ui/text_fit.h"
#include "view/win32/win32_images.h"

namespace fhsw {

namespace {

const wchar_t kClassName[] = L"FHSW_Window";
constexpr int kFirstControlId = 100;
// Smallest client area shown, whatever the model's size says (96 DPI pixels).
constexpr int kMinClientWidth = 80;
constexpr int kMinClientHeight = 40;
// The size and face that the twips layouts of the windows were drawn for.
constexpr double kDefaultPointSize = 8;
// The notice strip: black on light yellow along the bottom, at most this
// share of the client area; its text shrinks down to the smallest size to fit.
constexpr int kNoticeId = kFirstControlId - 1;
constexpr Rgb kNoticeBackground{255, 255, 192};
constexpr double kNoticeMaxShare = 0.5;
constexpr int kNoticeMargin = 4;  // around the text, 96 DPI pixels
const wchar_t kDismissHint[] = L"  (click to dismiss)";
constexpr int kTipWidth = 480;  // the tooltips' lines, 96 DPI pixels
// A multi-line field wraps its lines only while none is longer than this:
// the edit control lays out a wrapped line again for each line it wraps off
// it (Wine: minutes for a 1,000,000-character line), an unwrapped one once.
constexpr std::size_t kLongestWrappedLine = 4096;
// Posted to the window to make a field's control afresh outside the
// notification of the control itself.
constexpr UINT kRemakeMessage = WM_APP + 1;

bool HasFace(HDC dc, const wchar_t* face) {
    LOGFONTW want{};
    want.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(want.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(
        dc, &want,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// The face of Windows' own classic dialogs, else the narrowest near match
// (a system without it, such as Wine without its fonts).
const wchar_t* Face() {
    static const wchar_t* face = [] {
        const wchar_t* const faces[] = {L"Microsoft Sans Serif", L"Tahoma",
                                        L"DejaVu Sans Condensed", L"Liberation Sans Narrow"};
        HDC dc = GetDC(nullptr);
        const wchar_t* chosen = faces[0];
        for (const wchar_t* f : faces) {
            if (HasFace(dc, f)) {
                chosen = f;
                break;
            }
        }
        ReleaseDC(nullptr, dc);
        return chosen;
    }();
    return face;
}

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Per-monitor DPI functions exist from Windows 10 (1607) on; older systems
// have one DPI for all.
UINT SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT DpiOf(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    static const Fn fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (fn && hwnd) {
        if (const UINT dpi = fn(hwnd)) return dpi;
    }
    return SystemDpi();
}

void AdjustForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
    using Fn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (fn && fn(rect, style, FALSE, exStyle, dpi)) return;
    AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

COLORREF Ref(const Rgb& c) { return RGB(c.r, c.g, c.b); }

std::wstring TextOf(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void SetTextIfChanged(HWND hwnd, const std::string& utf8) {
    const std::wstring want = Widen(utf8);
    if (TextOf(hwnd) != want) SetWindowTextW(hwnd, want.c_str());
}

LONG_PTR StyleOf(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_STYLE); }

bool WrapsLines(const TextBox& box) {
    if (!box.multiLine()) return false;
    std::size_t run = 0;
    for (char c : box.text()) {
        run = (c == '\r' || c == '\n') ? 0 : run + 1;
        if (run > kLongestWrappedLine) return false;
    }
    return true;
}

void SetStyleBits(HWND hwnd, LONG_PTR mask, LONG_PTR bits) {
    const LONG_PTR old = StyleOf(hwnd);
    const LONG_PTR now = (old & ~mask) | (bits & mask);
    if (now == old) return;
    SetWindowLongPtrW(hwnd, GWL_STYLE, now);
    InvalidateRect(hwnd, nullptr, TRUE);
}

DWORD LabelAlign(Align a) {
    switch (a) {
    case Align::Center: return SS_CENTER;
    case Align::Right: return SS_RIGHT;
    case Align::Left: break;
    }
    return SS_LEFT;
}

DWORD EditAlign(Align a) {
    switch (a) {
    case Align::Center: return ES_CENTER;
    case Align::Right: return ES_RIGHT;
    case Align::Left: break;
    }
    return ES_LEFT;
}

wchar_t MaskOf(const TextBox& box) {
    const std::wstring mask = Widen(box.passwordChar());
    return mask.empty() ? 0 : mask[0];
}

// Line ends as the static control draws them: CR, LF and CR LF each end a line.
std::wstring NoticeLines(const std::string& utf8) {
    const std::wstring in = Widen(utf8);
    std::wstring out;
    out.reserve(in.size() + 8);
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == L'\r' || in[i] == L'\n') {
            out += L"\r\n";
            if (in[i] == L'\r' && i + 1 < in.size() && in[i + 1] == L'\n') ++i;
        } else {
            out += in[i];
        }
    }
    return out;
}

// The size `text` takes in `font`, wrapped at word boundaries to `wrapWidth`
// pixels, or only at its own line ends (0), as a static control draws it.
SIZE Measure(HDC dc, HFONT font, const std::wstring& text, int wrapWidth, UINT flags = 0) {
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, std::max(1, wrapWidth), 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              flags | DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : 0));
    SelectObject(dc, old);
    return {r.right - r.left, r.bottom - r.top};
}

// The notice strip is a static control whose client area sits inside a
// margin (pixels, in its GWLP_USERDATA) painted in its own background, so
// that the text keeps off the window's edges. A click on the margin counts
// as a click on the strip.
WNDPROC g_staticProc = nullptr;

LRESULT CALLBACK NoticeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCALCSIZE: {
        const LRESULT result = CallWindowProcW(g_staticProc, hwnd, message, wParam, lParam);
        const int margin = static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                         : reinterpret_cast<RECT*>(lParam);
        r->left = std::min(r->left + margin, r->right);
        r->top = std::min(r->top + margin, r->bottom);
        r->right = std::max(r->left, r->right - margin);
        r->bottom = std::max(r->top, r->bottom - margin);
        return result;
    }
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_NCPAINT: {
        HDC dc = GetWindowDC(hwnd);
        if (!dc) return 0;
        RECT outer{}, inner{};
        GetWindowRect(hwnd, &outer);
        GetClientRect(hwnd, &inner);
        MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&inner), 2);
        OffsetRect(&inner, -outer.left, -outer.top);
        OffsetRect(&outer, -outer.left, -outer.top);
        ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
        auto* b = reinterpret_cast<HBRUSH>(SendMessageW(
            GetParent(hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
            reinterpret_cast<LPARAM>(hwnd)));
        FillRect(dc, &outer, b ? b : GetSysColorBrush(COLOR_BTNFACE));
        ReleaseDC(hwnd, dc);
        return 0;
    }
    default:
        break;
    }
    return CallWindowProcW(g_staticProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<Win32WindowView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (view && view->hwnd() == hwnd) return view->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterViewClass(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
}

}  // namespace

int TwipsToPixels(double twips, UINT dpi) {
    return static_cast<int>(std::lround(twips * dpi / (kTwipsPerPixel * 96.0)));
}

double PixelsToTwips(int pixels, UINT dpi) {
    return pixels * (kTwipsPerPixel * 96.0) / (dpi ? dpi : 96);
}

// ---- construction --------------------------------------------------------

Win32WindowView::Win32WindowView(Window& window, HWND owner, bool modal, Win32Images& images)
    : window_(window), owner_(owner), modal_(modal), images_(images) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterViewClass(instance);
    // No WS_CLIPCHILDREN, as in dialogs: a frame (group box) draws only its
    // border and caption, the window's background shows through it.
    const DWORD style = owner ? (WS_POPUP | WS_CAPTION | WS_SYSMENU)
                              : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    const DWORD exStyle = owner ? WS_EX_DLGMODALFRAME : WS_EX_APPWINDOW;
    applying_ = true;
    hwnd_ = CreateWindowExW(exStyle, kClassName, Widen(window.caption()).c_str(), style,
                            CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, owner, nullptr, instance,
                            this);
    dpi_ = DpiOf(hwnd_);

    items_.reserve(window.controls().size());
    int id = kFirstControlId;
    for (Control* c : window.controls()) {
        items_.push_back(Item{c});
        items_.back().id = id++;
        createControl(items_.back());
    }
    applyWindow();
    for (Item& item : items_) applyControl(item);
    fixStacking();
    applying_ = false;

    observing_.attach(
        window_,
        [this](Control& c) {
            if (Item* item = itemOf(c)) applyControl(*item);
        },
        [this] { applyWindow(); });
    // The view may go before the model closes (the host's end).
    window_.onClosed.push_back([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) modelClosed();
    });
}

Win32WindowView::~Win32WindowView() {
    if (!detached_) detach();
    if (hwnd_ && IsWindow(hwnd_)) {
        if (modal_ && owner_) EnableWindow(owner_, TRUE);
        DestroyWindow(hwnd_);
    }
    for (auto& [key, f] : fonts_) DeleteObject(f);
    for (auto& [key, b] : brushes_) DeleteObject(b);
}

void Win32WindowView::createControl(Item& item) {
    Control& c = *item.control;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.visible() ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    const wchar_t* cls = L"STATIC";
    switch (c.kind()) {
    case ControlKind::Label:
        style |= SS_NOTIFY | SS_NOPREFIX | LabelAlign(c.align());
        break;
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(c);
        cls = L"EDIT";
        exStyle = WS_EX_CLIENTEDGE;
        item.multiLine = box.multiLine();
        item.wraps = WrapsLines(box);
        style |= EditAlign(c.align()) | (box.readOnly() ? ES_READONLY : 0) |
                 (box.tabStop() ? WS_TABSTOP : 0);
        if (item.multiLine) style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL;
        if (!item.wraps) style |= ES_AUTOHSCROLL | (item.multiLine ? WS_HSCROLL : 0);
        break;
    }
    case ControlKind::TickBox:
        cls = L"BUTTON";
        // Not an automatic box: a click asks the model, which owns the state.
        style |= BS_3STATE | BS_MULTILINE | WS_TABSTOP;
        break;
    case ControlKind::Button:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
        break;
    case ControlKind::Frame:
        cls = L"BUTTON";
        style |= BS_GROUPBOX;
        break;
    case ControlKind::Picture:
    case ControlKind::Line:
        style |= SS_OWNERDRAW;
        break;
    }
    item.hwnd = CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, 0, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)),
                                GetModuleHandleW(nullptr), nullptr);
    if (c.kind() == ControlKind::TextBox) {
        SendMessageW(item.hwnd, EM_SETLIMITTEXT, 0, 0);  // as much as the system allows
        SendMessageW(item.hwnd, EM_SETPASSWORDCHAR, MaskOf(static_cast<TextBox&>(c)), 0);
    }
}

// ---- model to controls ---------------------------------------------------

POINT Win32WindowView::modelFramePos() const {
    return {TwipsToPixels(window_.left(), dpi_), TwipsToPixels(window_.top(), dpi_)};
}

SIZE Win32WindowView::modelClientSize() const {
    return {std::max(MulDiv(kMinClientWidth, dpi_, 96),
                     TwipsToPixels(window_.width() - kFrameWidthTwips, dpi_)),
            std::max(MulDiv(kMinClientHeight, dpi_, 96),
                     TwipsToPixels(window_.height() - kFrameHeightTwips, dpi_))};
}

void Win32WindowView::applyWindow() {
    if (detached_ || !hwnd_) return;
    const bool was = applying_;
    applying_ = true;
    SetTextIfChanged(hwnd_, window_.caption());
    const POINT p = modelFramePos();
    const SIZE s = modelClientSize();
    RECT want{0, 0, s.cx, s.cy};
    AdjustForDpi(&want, static_cast<DWORD>(StyleOf(hwnd_)),
                 static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi_);
    const int w = want.right - want.left, h = want.bottom - want.top;
    RECT now{};
    GetWindowRect(hwnd_, &now);
    if (now.left != p.x || now.top != p.y || now.right - now.left != w ||
        now.bottom - now.top != h)
        SetWindowPos(hwnd_, nullptr, p.x, p.y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    applyDefaultMarks();
    applyNotice();
    applying_ = was;
}

void Win32WindowView::applyNotice() {
    const std::string& text = window_.notice();
    if (text.empty()) {
        if (notice_ && (StyleOf(notice_) & WS_VISIBLE)) ShowWindow(notice_, SW_HIDE);
        return;
    }
    if (!notice_) {
        // Word-wrapped like a multi-line field; SS_NOTIFY for the click.
        notice_ = CreateWindowExW(
            0, L"STATIC", L"",
            WS_CHILD | WS_CLIPSIBLINGS | SS_LEFT | SS_EDITCONTROL | SS_NOPREFIX | SS_NOTIFY, 0, 0,
            0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNoticeId)),
            GetModuleHandleW(nullptr), nullptr);
        if (!notice_) return;
        const auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            notice_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoticeProc)));
        if (!g_staticProc) g_staticProc = previous;
    }
    const std::wstring lines = NoticeLines(text);
    const std::wstring shown = lines + kDismissHint;
    if (TextOf(notice_) != shown) SetWindowTextW(notice_, shown.c_str());
    // The full text as a tooltip too, for a notice too long for its strip.
    setTip(notice_, lines);
    layoutNotice();
    if (!(StyleOf(notice_) & WS_VISIBLE)) ShowWindow(notice_, SW_SHOWNA);
}

void Win32WindowView::layoutNotice() {
    if (!notice_ || window_.notice().empty()) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int width = client.right - client.left;
    const int cap = static_cast<int>(client.bottom * kNoticeMaxShare);
    const int margin = MulDiv(kNoticeMargin, static_cast<int>(dpi_), 96);
    const std::wstring text = TextOf(notice_);
    // The bold face of the window's font; smaller while the text needs more
    // than the strip may take.
    HDC dc = GetDC(notice_);
    auto textHeight = [&](double points) {
        HFONT f = font(true, points);
        return std::max<int>(Measure(dc, f, text, width - 2 * margin, DT_EDITCONTROL).cy,
                             Measure(dc, f, L"X", 0).cy);
    };
    const double points =
        FitText(kDefaultPointSize, [&](double p, bool) { return textHeight(p) + 2 * margin <= cap; }).points;
    const int height = std::max(0, std::min(textHeight(points) + 2 * margin, cap));
    ReleaseDC(notice_, dc);
    HFONT chosen = font(true, points);
    if (reinterpret_cast<HFONT>(SendMessageW(notice_, WM_GETFONT, 0, 0)) != chosen)
        SendMessageW(notice_, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
    UINT frame = 0;
    if (GetWindowLongPtrW(notice_, GWLP_USERDATA) != margin) {
        SetWindowLongPtrW(notice_, GWLP_USERDATA, margin);
        frame = SWP_FRAMECHANGED;
    }
    // On top of the controls it covers.
    SetWindowPos(notice_, HWND_TOP, 0, client.bottom - height, width, height,
                 SWP_NOACTIVATE | frame);
    InvalidateRect(notice_, nullptr, TRUE);
}

void Win32WindowView::applyDefaultMarks() {
    for (Item& item : items_) {
        if (item.control->kind() != ControlKind::Button) continue;
        const bool isDefault = item.control == window_.defaultButton();
        const LONG_PTR type = StyleOf(item.hwnd) & BS_TYPEMASK;
        if ((type == BS_DEFPUSHBUTTON) != isDefault)
            SendMessageW(item.hwnd, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                         TRUE);
    }
}

void Win32WindowView::applyControl(Item& item) {
    if (detached_) return;
    Control& c = *item.control;
    const bool was = applying_;
    applying_ = true;

    // A text box that turned multi-line (or back), or whose lines turned too
    // long to wrap (or back), needs another edit control: made afresh later
    // when the change comes from typing into the control itself.
    bool hadFocus = false;
    DWORD selStart = 0, selEnd = 0;
    if (c.kind() == ControlKind::TextBox &&
        (static_cast<TextBox&>(c).multiLine() != item.multiLine ||
         WrapsLines(static_cast<TextBox&>(c)) != item.wraps)) {
        if (item.hwnd == typingIn_) {
            PostMessageW(hwnd_, kRemakeMessage, static_cast<WPARAM>(item.id), 0);
        } else {
            HWND old = item.hwnd;
            hadFocus = GetFocus() == old;
            SendMessageW(old, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                         reinterpret_cast<LPARAM>(&selEnd));
            createControl(item);
            SetWindowPos(item.hwnd, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            DestroyWindow(old);
            if (hadFocus) SetFocus(item.hwnd);
        }
    }
    HWND w = item.hwnd;

    // Geometry, relative to the client area.
    const TwipsRect& r = c.place();
    RECT want{};
    if (c.kind() == ControlKind::Line) {
        const int x0 = TwipsToPixels(r.left, dpi_), y0 = TwipsToPixels(r.top, dpi_);
        const int x1 = TwipsToPixels(r.left + r.width, dpi_);
        const int y1 = TwipsToPixels(r.top + r.height, dpi_);
        want = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1) + 1, std::max(y0, y1) + 1};
        item.rising = (x1 - x0) * (y1 - y0) < 0;
    } else {
        want.left = TwipsToPixels(r.left, dpi_);
        want.top = TwipsToPixels(r.top, dpi_);
        want.right = want.left + TwipsToPixels(r.width, dpi_);
        want.bottom = want.top + TwipsToPixels(r.height, dpi_);
    }
    RECT now{};
    GetWindowRect(w, &now);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&now), 2);
    if (!EqualRect(&now, &want))
        SetWindowPos(w, nullptr, want.left, want.top, want.right - want.left,
                     want.bottom - want.top, SWP_NOZORDER | SWP_NOACTIVATE);

    if ((IsWindowEnabled(w) != FALSE) != c.enabled()) EnableWindow(w, c.enabled());
    if (((StyleOf(w) & WS_VISIBLE) != 0) != c.visible())
        ShowWindow(w, c.visible() ? SW_SHOWNA : SW_HIDE);

    double points = c.pointSize() > 0 ? c.pointSize() : kDefaultPointSize;
    if (c.kind() == ControlKind::Label) {
        SetStyleBits(w, SS_TYPEMASK, LabelAlign(c.align()));
        SetTextIfChanged(w, c.text());
        points = fitLabel(item, {want.right - want.left, want.bottom - want.top}, points);
    }
    HFONT f = font(c.bold(), points);
    if (reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)) != f)
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);

    switch (c.kind()) {
    case ControlKind::Label:
        break;
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(c);
        if (((StyleOf(w) & ES_READONLY) != 0) != box.readOnly())
            SendMessageW(w, EM_SETREADONLY, box.readOnly(), 0);
        const wchar_t mask = MaskOf(box);
        if (static_cast<wchar_t>(SendMessageW(w, EM_GETPASSWORDCHAR, 0, 0)) != mask) {
            SendMessageW(w, EM_SETPASSWORDCHAR, mask, 0);
            InvalidateRect(w, nullptr, TRUE);
        }
        SetStyleBits(w, WS_TABSTOP, box.tabStop() ? WS_TABSTOP : 0);
        if (item.multiLine) SetStyleBits(w, ES_CENTER | ES_RIGHT, EditAlign(c.align()));
        SetTextIfChanged(w, c.text());
        if (hadFocus) SendMessageW(w, EM_SETSEL, selStart, selEnd);
        break;
    }
    case ControlKind::TickBox:
        SetTextIfChanged(w, c.text());
        resyncTick(item);
        break;
    case ControlKind::Button:
    case ControlKind::Frame:
        SetTextIfChanged(w, c.text());
        break;
    case ControlKind::Picture:
    case ControlKind::Line:
        break;
    }
    if (c.kind() == ControlKind::Button) applyDefaultMarks();
    // Colours and pictures are drawn at painting time. A text box redraws its
    // own text; repainting it at every typed character would flicker.
    const bool coloursChanged = item.foreground != c.foreground() || item.background != c.background();
    item.foreground = c.foreground();
    item.background = c.background();
    if (c.kind() != ControlKind::TextBox || coloursChanged) InvalidateRect(w, nullptr, TRUE);
    applying_ = was;
}

double Win32WindowView::fitLabel(Item& item, SIZE area, double points) {
    const std::wstring text = Widen(item.control->text());
    HDC dc = GetDC(item.hwnd);
    const TextFit fit = FitText(points, [&](double p, bool wrapped) {
        const SIZE need = Measure(dc, font(item.control->bold(), p), text, wrapped ? area.cx : 0);
        return text.empty() || (need.cx <= area.cx && need.cy <= area.cy);
    });
    ReleaseDC(item.hwnd, dc);
    setTip(item.hwnd, fit.oneLine ? std::wstring() : text);
    return fit.points;
}

void Win32WindowView::setTip(HWND control, const std::wstring& text) {
    auto known = tipTexts_.find(control);
    if (known == tipTexts_.end() ? text.empty() : known->second == text) return;
    if (!tips_) {
        INITCOMMONCONTROLSEX common{sizeof common, ICC_BAR_CLASSES};
        InitCommonControlsEx(&common);
        tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
        if (!tips_) return;
    }
    // Several lines of at most this width.
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, MulDiv(kTipWidth, static_cast<int>(dpi_), 96));
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    if (text.empty()) {
        SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        tipTexts_.erase(known);
    } else {
        SendMessageW(tips_, known == tipTexts_.end() ? TTM_ADDTOOLW : TTM_UPDATETIPTEXTW, 0,
                     reinterpret_cast<LPARAM>(&tool));
        tipTexts_[control] = text;
    }
}

void Win32WindowView::resyncText(Item& item) {
    const bool was = applying_;
    applying_ = true;
    SetTextIfChanged(item.hwnd, item.control->text());
    applying_ = was;
}

void Win32WindowView::resyncTick(Item& item) {
    const auto state = static_cast<TickBox*>(item.control)->state();
    const WPARAM want = state == 0 ? BST_UNCHECKED : state == 1 ? BST_CHECKED : BST_INDETERMINATE;
    if (static_cast<WPARAM>(SendMessageW(item.hwnd, BM_GETCHECK, 0, 0)) != want)
        SendMessageW(item.hwnd, BM_SETCHECK, want, 0);
}

void Win32WindowView::fixStacking() {
    // Frames sit behind the controls drawn over them; the focus order (the
    // stacking order of the rest) stays the order of the model's controls.
    for (Item& item : items_)
        if (item.control->kind() == ControlKind::Frame)
            SetWindowPos(item.hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HFONT Win32WindowView::font(bool bold, double points) {
    const int centi = static_cast<int>(std::lround((points > 0 ? points : kDefaultPointSize) * 100));
    const auto key = std::make_tuple(bold, centi, dpi_);
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return it->second;
    HFONT f = CreateFontW(-MulDiv(centi, static_cast<int>(dpi_), 7200), 0, 0, 0,
                          bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                          DEFAULT_PITCH | FF_SWISS, Face());
    fonts_.emplace(key, f);
    return f;
}

HBRUSH Win32WindowView::brush(const Rgb& colour) {
    const unsigned long key = Ref(colour);
    auto it = brushes_.find(key);
    if (it != brushes_.end()) return it->second;
    HBRUSH b = CreateSolidBrush(Ref(colour));
    brushes_.emplace(key, b);
    return b;
}

// ---- controls to model ---------------------------------------------------

void Win32WindowView::show() {
    if (detached_ || !hwnd_) return;
    if (modal_ && owner_) EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    shown_ = true;
    // The window manager may have placed it elsewhere than asked.
    moved();
    focusFirst();
}

void Win32WindowView::focusFirst() {
    for (Item& item : items_) {
        const LONG_PTR style = StyleOf(item.hwnd);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && IsWindowEnabled(item.hwnd)) {
            SetFocus(item.hwnd);
            return;
        }
    }
}

bool Win32WindowView::preTranslate(const MSG& msg) {
    if (detached_ || msg.message != WM_KEYDOWN) return false;
    Item* focused = itemOf(msg.hwnd);
    switch (msg.wParam) {
    case VK_RETURN:
        if (focused && focused->control->kind() == ControlKind::TextBox && focused->multiLine &&
            GetKeyState(VK_CONTROL) < 0) {
            // Ctrl+Enter is the way to start a new line in a multi-line field.
            if (!(StyleOf(focused->hwnd) & ES_READONLY))
                SendMessageW(focused->hwnd, EM_REPLACESEL, TRUE,
                             reinterpret_cast<LPARAM>(L"\r\n"));
            return true;
        }
        if (focused && focused->control->kind() == ControlKind::Button) {
            static_cast<Button*>(focused->control)->press();
            return true;
        }
        window_.pressDefault();
        return true;
    case VK_ESCAPE:
        window_.pressCancel();
        return true;
    case VK_TAB: {
        HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), GetKeyState(VK_SHIFT) < 0);
        if (next) {
            SetFocus(next);
            if (Item* item = itemOf(next))
                if (item->control->kind() == ControlKind::TextBox && !item->multiLine)
                    SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    default:
        return false;
    }
}

void Win32WindowView::controlCommand(Item& item, int code) {
    Control& c = *item.control;
    switch (c.kind()) {
    case ControlKind::Button:
        if (code == BN_CLICKED) static_cast<Button&>(c).press();
        break;
    case ControlKind::TickBox:
        if (code == BN_CLICKED) {
            static_cast<TickBox&>(c).click();
            // The model may refuse or handle the click in its own way.
            if (!detached_) resyncTick(item);
        }
        break;
    case ControlKind::TextBox:
        if (code == EN_CHANGE) {
            typingIn_ = item.hwnd;
            static_cast<TextBox&>(c).type(Narrow(TextOf(item.hwnd)));
            typingIn_ = nullptr;
            if (!detached_) resyncText(item);
        }
        break;
    case ControlKind::Label:
        if (code == STN_DBLCLK) static_cast<Label&>(c).doubleClick();
        break;
    default:
        break;
    }
}

HBRUSH Win32WindowView::colourControl(HDC dc, HWND child) {
    if (child && child == notice_) {
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, Ref(kNoticeBackground));
        return brush(kNoticeBackground);
    }
    Item* item = itemOf(child);
    if (!item) return nullptr;
    const Control& c = *item->control;
    if (c.kind() == ControlKind::TextBox) {
        // A locked (read-only) field keeps the white of an editable one; a
        // disabled one is greyed by the system.
        if (!c.enabled()) return nullptr;
        SetTextColor(dc, c.foreground() ? Ref(*c.foreground()) : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, c.background() ? Ref(*c.background()) : GetSysColor(COLOR_WINDOW));
        return c.background() ? brush(*c.background()) : GetSysColorBrush(COLOR_WINDOW);
    }
    if (!c.foreground() && !c.background()) return nullptr;
    if (c.foreground() && c.enabled()) SetTextColor(dc, Ref(*c.foreground()));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, c.background() ? Ref(*c.background()) : GetSysColor(COLOR_BTNFACE));
    return c.background() ? brush(*c.background()) : GetSysColorBrush(COLOR_BTNFACE);
}

void Win32WindowView::drawItem(const DRAWITEMSTRUCT& draw) {
    Item* item = itemOf(static_cast<int>(draw.CtlID));
    if (!item) return;
    const Control& c = *item->control;
    HDC dc = draw.hDC;
    const RECT& r = draw.rcItem;
    FillRect(dc, &r, c.background() ? brush(*c.background()) : GetSysColorBrush(COLOR_BTNFACE));
    if (c.kind() == ControlKind::Picture) {
        images_.draw(c.text(), dc, r.left, r.top, dpi_, r);
    } else if (c.kind() == ControlKind::Line) {
        HPEN pen = CreatePen(PS_SOLID, 1,
                             c.foreground() ? Ref(*c.foreground()) : GetSysColor(COLOR_WINDOWTEXT));
        HGDIOBJ old = SelectObject(dc, pen);
        const int right = r.right - 1, bottom = r.bottom - 1;
        if (item->rising) {
            MoveToEx(dc, r.left, bottom, nullptr);
            LineTo(dc, right, r.top);
            SetPixel(dc, right, r.top, c.foreground() ? Ref(*c.foreground())
                                                      : GetSysColor(COLOR_WINDOWTEXT));
        } else {
            MoveToEx(dc, r.left, r.top, nullptr);
            LineTo(dc, right, bottom);
            SetPixel(dc, right, bottom, c.foreground() ? Ref(*c.foreground())
                                                       : GetSysColor(COLOR_WINDOWTEXT));
        }
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void Win32WindowView::moved() {
    if (applying_ || detached_ || !shown_ || IsIconic(hwnd_)) return;
    RECT r{};
    GetWindowRect(hwnd_, &r);
    const POINT model = modelFramePos();
    if (r.left == model.x && r.top == model.y) return;
    window_.movedByUser(static_cast<float>(PixelsToTwips(r.left, dpi_)),
                        static_cast<float>(PixelsToTwips(r.top, dpi_)));
}

void Win32WindowView::dpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0 || dpi == dpi_) return;
    dpi_ = dpi;
    const bool was = applying_;
    applying_ = true;
    for (Item& item : items_) applyControl(item);
    // Keep where the system put the window; the model's size at the new DPI.
    if (suggested)
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
    applying_ = was;
    moved();
    applyWindow();
}

LRESULT Win32WindowView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        HWND gone = hwnd_;
        hwnd_ = nullptr;
        notice_ = nullptr;
        tips_ = nullptr;
        tipTexts_.clear();
        return DefWindowProcW(gone, message, wParam, lParam);
    }
    if (detached_) return DefWindowProcW(hwnd_, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        if (lParam && !applying_ && notice_ && reinterpret_cast<HWND>(lParam) == notice_) {
            // A click dismisses the notice; the model hides the strip.
            if (HIWORD(wParam) == STN_CLICKED) window_.setNotice({});
            return 0;
        }
        if (lParam && !applying_) {
            if (Item* item = itemOf(static_cast<int>(LOWORD(wParam))))
                controlCommand(*item, HIWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        if (HBRUSH b = colourControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return reinterpret_cast<LRESULT>(b);
        break;
    case WM_DRAWITEM:
        drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_MOVE:
        moved();
        return 0;
    case WM_SIZE:
        layoutNotice();
        return 0;
    case WM_SETCURSOR:
        if (notice_ && reinterpret_cast<HWND>(wParam) == notice_) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /*IDC_HAND*/));
            return TRUE;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        } else if (lastFocus_ && IsWindow(lastFocus_) && IsChild(hwnd_, lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case kRemakeMessage:
        if (Item* item = itemOf(static_cast<int>(wParam))) applyControl(*item);
        return 0;
    case WM_DPICHANGED:
        dpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_CLOSE:
        // The model's closing cannot be refused; it destroys the window.
        window_.close();
        return 0;
    case WM_ENDSESSION:
        if (wParam) window_.close();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

// ---- end -----------------------------------------------------------------

void Win32WindowView::modelClosed() {
    if (detached_) return;
    detach();
    HWND hwnd = hwnd_;
    // Enabled again first, so that the owner is activated when this goes.
    if (modal_ && owner_) EnableWindow(owner_, TRUE);
    if (hwnd) DestroyWindow(hwnd);
    if (onDetached) onDetached();
}

void Win32WindowView::detach() {
    detached_ = true;
    observing_.release();
}

Win32WindowView::Item* Win32WindowView::itemOf(const Control& control) {
    for (Item& item : items_)
        if (item.control == &control) return &item;
    return nullptr;
}

Win32WindowView::Item* Win32WindowView::itemOf(HWND child) {
    if (!child) return nullptr;
    for (Item& item : items_)
        if (item.hwnd == child) return &item;
    return nullptr;
}

Win32WindowView::Item* Win32WindowView::itemOf(int id) {
    for (Item& item : items_)
        if (item.id == id) return &item;
    return nullptr;
}

HWND Win32WindowView::controlOf(const Control& control) const {
    for (const Item& item : items_)
        if (item.control == &control) return item.hwnd;
    return nullptr;
}

}  // namespace fhsw
