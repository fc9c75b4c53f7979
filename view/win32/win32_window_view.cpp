#include "view/win32/win32_window_view.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/windows/win32_text.h"
#include "ui/text_fit.h"
#include "view/win32/win32_images.h"

namespace fhsw {

namespace {

const wchar_t kClassName[] = L"FHSW_Window";
constexpr int kFirstControlId = 100;
constexpr int kNoticeId = kFirstControlId - 1;
constexpr int kTipWidth = 480;  // the tooltips' lines, 96 DPI pixels
// A multi-line field wraps its lines only while none is longer than this:
// the edit control lays out a wrapped line again for each line it wraps off
// it (Wine: minutes for a 1,000,000-character line), an unwrapped one once.
constexpr std::size_t kLongestWrappedLine = 4096;
// Posted to the window to make a field's control afresh outside the
// notification of the control itself.
constexpr UINT kRemakeMessage = WM_APP + 1;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The face of Windows' own classic dialogs, else the narrowest near match
// (a system without it, such as Wine without its fonts).
const wchar_t* Face() {
    static const wchar_t* face = [] {
        const wchar_t* const faces[] = {L"Microsoft Sans Serif", L"Tahoma", L"DejaVu Sans Condensed",
                                        L"Liberation Sans Narrow"};
        HDC dc = GetDC(nullptr);
        const wchar_t* const* chosen = std::find_if(std::begin(faces), std::end(faces), [dc](const wchar_t* f) {
            LOGFONTW want{};
            want.lfCharSet = DEFAULT_CHARSET;
            lstrcpynW(want.lfFaceName, f, LF_FACESIZE);
            bool found = false;
            auto note = [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int {
                *reinterpret_cast<bool*>(found) = true;
                return 0;
            };
            EnumFontFamiliesExW(dc, &want, note, reinterpret_cast<LPARAM>(&found), 0);
            return found;
        });
        ReleaseDC(nullptr, dc);
        return chosen == std::end(faces) ? faces[0] : *chosen;
    }();
    return face;
}

// Per-monitor DPI functions exist from Windows 10 (1607) on; older systems
// have one DPI for all.
template <class Fn>
Fn User32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

UINT DpiOf(HWND hwnd) {
    static const auto dpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    const UINT dpi = dpiForWindow ? dpiForWindow(hwnd) : 0;
    return dpi ? dpi : SystemDpi();
}

// The outer rectangle of a window whose client area is `rect`.
void AdjustForDpi(RECT* rect, HWND hwnd, UINT dpi) {
    static const auto adjust = User32<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    if (!adjust || !adjust(rect, style, FALSE, exStyle, dpi)) AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

COLORREF Ref(const Rgb& c) { return RGB(c.r, c.g, c.b); }

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(std::max(0, GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())))));
    return text;
}

void SetTextIfChanged(HWND hwnd, const std::wstring& text) {
    if (TextOf(hwnd) != text) SetWindowTextW(hwnd, text.c_str());
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

bool IsMultiLine(const Control& c) {
    return c.kind() == ControlKind::TextBox && static_cast<const TextBox&>(c).multiLine();
}

// The alignment bits of statics and edits alike.
static_assert(SS_CENTER == ES_CENTER && SS_RIGHT == ES_RIGHT && SS_LEFT == ES_LEFT);
DWORD AlignBits(Align a) { return a == Align::Center ? SS_CENTER : a == Align::Right ? SS_RIGHT : SS_LEFT; }

wchar_t MaskOf(const TextBox& box) {
    const std::wstring mask = Widen(box.passwordChar());
    return mask.empty() ? 0 : mask[0];
}

// The size `text` takes in `font`, wrapped at word boundaries to `wrapWidth`
// pixels, or only at its own line ends (0), as a static control draws it.
SIZE Measure(HDC dc, HFONT font, const std::wstring& text, int wrapWidth) {
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, std::max(1, wrapWidth), 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : 0));
    SelectObject(dc, old);
    return {r.right - r.left, r.bottom - r.top};
}

LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<Win32WindowView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (view && view->hwnd() == hwnd) return view->handle(message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterViewClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /*IDC_ARROW*/);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
}

}  // namespace

UINT SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// ---- construction --------------------------------------------------------

Win32WindowView::Win32WindowView(Window& window, HWND owner, bool modal, Win32Images& images)
    : window_(window), owner_(owner), modal_(modal), images_(images) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterViewClass(instance);
    // Controls in the style of the running system (the manifest asks for
    // version 6 of the common controls), and tooltips.
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&common);
    // No WS_CLIPCHILDREN, as in dialogs: a frame (group box) draws only its
    // border and caption, the window's background shows through it.
    const DWORD style = owner ? (WS_POPUP | WS_CAPTION | WS_SYSMENU)
                              : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    applying_ = true;
    hwnd_ = CreateWindowExW(owner ? WS_EX_DLGMODALFRAME : WS_EX_APPWINDOW, kClassName, L"", style, CW_USEDEFAULT,
                            CW_USEDEFAULT, 200, 100, owner, nullptr, instance, this);
    dpi_ = DpiOf(hwnd_);
    items_.reserve(window.controls().size());
    for (Control* c : window.controls()) {
        items_.push_back(Item{c, kFirstControlId + static_cast<int>(items_.size())});
        createControl(items_.back());
    }
    // Frames sit behind the controls drawn over them; the focus order (the
    // stacking order of the rest) stays the order of the model's controls.
    for (Item& item : items_)
        if (item.control->kind() == ControlKind::Frame)
            SetWindowPos(item.hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The notice strip, drawn by the view; SS_NOTIFY for the click.
    notice_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_CLIPSIBLINGS | SS_OWNERDRAW | SS_NOTIFY, 0, 0, 0, 0,
                              hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNoticeId)), instance, nullptr);
    applyWindow();
    for (Item& item : items_) applyControl(item);
    applying_ = false;

    window_.onControlChanged = [this](Control& c) {
        for (Item& item : items_)
            if (item.control == &c) applyControl(item);
    };
    window_.onWindowChanged = [this] { applyWindow(); };
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

// Makes the control window of an item with what the model sets once (kind,
// look, read-only, tab stop, default button).
void Win32WindowView::createControl(Item& item) {
    Control& c = *item.control;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.visible() ? WS_VISIBLE : 0);
    DWORD exStyle = 0;
    const wchar_t* cls = L"BUTTON";
    switch (c.kind()) {
    case ControlKind::Label:
        cls = L"STATIC";
        style |= SS_NOTIFY | SS_NOPREFIX | AlignBits(c.align());
        break;
    case ControlKind::TextBox: {
        auto& box = static_cast<TextBox&>(c);
        cls = L"EDIT";
        exStyle = WS_EX_CLIENTEDGE;
        item.wraps = WrapsLines(box);
        style |= AlignBits(c.align()) | (box.readOnly() ? ES_READONLY : 0) | (box.tabStop() ? WS_TABSTOP : 0);
        if (box.multiLine()) style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL;
        if (!item.wraps) style |= ES_AUTOHSCROLL | (box.multiLine() ? WS_HSCROLL : 0);
        break;
    }
    case ControlKind::TickBox:
        // Not an automatic box: a click asks the model, which owns the state.
        style |= BS_3STATE | BS_MULTILINE | WS_TABSTOP;
        break;
    case ControlKind::Button:
        style |= (&c == window_.defaultButton() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_MULTILINE | WS_TABSTOP;
        break;
    case ControlKind::Frame:
        style |= BS_GROUPBOX;
        break;
    case ControlKind::Picture:
    case ControlKind::Line:
        cls = L"STATIC";
        style |= SS_OWNERDRAW;
        break;
    }
    item.hwnd = CreateWindowExW(exStyle, cls, L"", style, 0, 0, 0, 0, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(item.id)), GetModuleHandleW(nullptr),
                                nullptr);
    if (c.kind() == ControlKind::TextBox) {
        SendMessageW(item.hwnd, EM_SETLIMITTEXT, 0, 0);  // as much as the system allows
        SendMessageW(item.hwnd, EM_SETPASSWORDCHAR, MaskOf(static_cast<TextBox&>(c)), 0);
    }
    place(item);
}

// Place and face at the window's DPI (a label's face is fitted to its text).
void Win32WindowView::place(Item& item) {
    const PixelRect r = PixelsOf(*item.control, dpi_);
    SetWindowPos(item.hwnd, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(item.hwnd, WM_SETFONT,
                 reinterpret_cast<WPARAM>(font(item.control->bold(), item.control->pointSize())), TRUE);
}

// ---- model to controls ---------------------------------------------------

void Win32WindowView::applyWindow() {
    const bool was = applying_;
    applying_ = true;
    SetTextIfChanged(hwnd_, Widen(window_.caption()));
    const PixelRect client = ClientPixels(window_, dpi_);
    RECT want{0, 0, client.width, client.height};
    AdjustForDpi(&want, hwnd_, dpi_);
    const int x = TwipsToPixels(window_.left(), dpi_), y = TwipsToPixels(window_.top(), dpi_);
    const RECT target{x, y, x + want.right - want.left, y + want.bottom - want.top};
    RECT now{};
    GetWindowRect(hwnd_, &now);
    if (!EqualRect(&now, &target))
        SetWindowPos(hwnd_, nullptr, x, y, target.right - x, target.bottom - y, SWP_NOZORDER | SWP_NOACTIVATE);
    layoutNotice();
    applying_ = was;
}

// The notice strip (ui/text_fit.h) along the bottom, over the controls it covers.
void Win32WindowView::layoutNotice() {
    const std::wstring notice = Widen(window_.notice());
    if (notice.empty()) {
        ShowWindow(notice_, SW_HIDE);
        return;
    }
    const std::wstring text = notice + Widen(kNoticeHint);
    SetTextIfChanged(notice_, text);
    setTip(notice_, notice);
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int margin = MulDiv(kNoticeMargin, static_cast<int>(dpi_), 96), cap = client.bottom / 2;
    HDC dc = GetDC(notice_);
    auto height = [&](double points) -> int {
        return Measure(dc, font(true, points), text, client.right - 2 * margin).cy + 2 * margin;
    };
    const double points = FitText(kDefaultPointSize, [&](double p, bool) { return height(p) <= cap; }).points;
    const int h = std::min(height(points), cap);
    ReleaseDC(notice_, dc);
    SendMessageW(notice_, WM_SETFONT, reinterpret_cast<WPARAM>(font(true, points)), FALSE);
    SetWindowPos(notice_, HWND_TOP, 0, client.bottom - h, client.right, h, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(notice_, nullptr, TRUE);
}

void Win32WindowView::applyControl(Item& item) {
    Control& c = *item.control;
    const bool was = applying_;
    applying_ = true;

    // A multi-line field whose lines turned too long to wrap (or back) needs
    // another edit control: made afresh later when the change comes from
    // typing into the control itself.
    bool hadFocus = false;
    DWORD selStart = 0, selEnd = 0;
    if (c.kind() == ControlKind::TextBox && WrapsLines(static_cast<TextBox&>(c)) != item.wraps) {
        if (item.hwnd == typingIn_) {
            PostMessageW(hwnd_, kRemakeMessage, static_cast<WPARAM>(item.id), 0);
        } else {
            HWND old = item.hwnd;
            hadFocus = GetFocus() == old;
            SendMessageW(old, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
            createControl(item);
            SetWindowPos(item.hwnd, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            DestroyWindow(old);
            if (hadFocus) SetFocus(item.hwnd);
        }
    }
    HWND w = item.hwnd;
    if ((IsWindowEnabled(w) != FALSE) != c.enabled()) EnableWindow(w, c.enabled());
    if (((StyleOf(w) & WS_VISIBLE) != 0) != c.visible()) ShowWindow(w, c.visible() ? SW_SHOWNA : SW_HIDE);
    if (c.kind() != ControlKind::Picture && c.kind() != ControlKind::Line) SetTextIfChanged(w, Widen(c.text()));

    if (c.kind() == ControlKind::Label) {
        HFONT f = font(c.bold(), fitLabel(item));
        if (reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)) != f)
            SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    } else if (c.kind() == ControlKind::TextBox) {
        const wchar_t mask = MaskOf(static_cast<TextBox&>(c));
        if (static_cast<wchar_t>(SendMessageW(w, EM_GETPASSWORDCHAR, 0, 0)) != mask) {
            SendMessageW(w, EM_SETPASSWORDCHAR, mask, 0);
            InvalidateRect(w, nullptr, TRUE);
        }
        if (hadFocus) SendMessageW(w, EM_SETSEL, selStart, selEnd);
    } else if (c.kind() == ControlKind::TickBox) {
        const auto state = static_cast<TickBox&>(c).state();
        const WPARAM want = state == 0 ? BST_UNCHECKED : state == 1 ? BST_CHECKED : BST_INDETERMINATE;
        if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != want) SendMessageW(w, BM_SETCHECK, want, 0);
    }
    // Colours and pictures are drawn at painting time. A text box redraws its
    // own text; repainting it at every typed character would flicker.
    const bool coloursChanged = item.foreground != c.foreground() || item.background != c.background();
    item.foreground = c.foreground();
    item.background = c.background();
    if (c.kind() != ControlKind::TextBox || coloursChanged) InvalidateRect(w, nullptr, TRUE);
    applying_ = was;
}

double Win32WindowView::fitLabel(const Item& item) {
    const std::wstring text = Widen(item.control->text());
    RECT area{};
    GetClientRect(item.hwnd, &area);
    HDC dc = GetDC(item.hwnd);
    const TextFit fit = FitText(item.control->pointSize(), [&](double p, bool wrapped) {
        const SIZE need = Measure(dc, font(item.control->bold(), p), text, wrapped ? area.right : 0);
        return text.empty() || (need.cx <= area.right && need.cy <= area.bottom);
    });
    ReleaseDC(item.hwnd, dc);
    setTip(item.hwnd, fit.oneLine ? std::wstring() : text);
    return fit.points;
}

void Win32WindowView::setTip(HWND control, const std::wstring& text) {
    // Made with the first tip: an owned topmost popup that a window without
    // tips does without (Wine would keep it above the window otherwise).
    if (!tips_ && text.empty()) return;
    if (!tips_)
        tips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    // Several lines of at most this width.
    SendMessageW(tips_, TTM_SETMAXTIPWIDTH, 0, MulDiv(kTipWidth, static_cast<int>(dpi_), 96));
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tips_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty()) SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HFONT Win32WindowView::font(bool bold, double points) {
    const int centi = static_cast<int>(std::lround(points * 100));
    HFONT& f = fonts_[std::make_tuple(bold, centi, dpi_)];
    if (!f)
        f = CreateFontW(-MulDiv(centi, static_cast<int>(dpi_), 7200), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, Face());
    return f;
}

HBRUSH Win32WindowView::brush(const Rgb& colour) {
    HBRUSH& b = brushes_[Ref(colour)];
    if (!b) b = CreateSolidBrush(Ref(colour));
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
    // The first tab stop has the focus, as in a dialog.
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
}

bool Win32WindowView::preTranslate(const MSG& msg) {
    if (detached_ || msg.message != WM_KEYDOWN) return false;
    const Item* focused = itemOf(msg.hwnd);
    switch (msg.wParam) {
    case VK_RETURN:
        if (focused && IsMultiLine(*focused->control) && GetKeyState(VK_CONTROL) < 0) {
            // Ctrl+Enter is the way to start a new line in a multi-line field.
            if (!(StyleOf(focused->hwnd) & ES_READONLY))
                SendMessageW(focused->hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r\n"));
        } else if (focused && focused->control->kind() == ControlKind::Button) {
            static_cast<Button*>(focused->control)->press();
        } else {
            window_.pressDefault();
        }
        return true;
    case VK_ESCAPE:
        window_.pressCancel();
        return true;
    case VK_TAB:
        if (HWND next = GetNextDlgTabItem(hwnd_, GetFocus(), GetKeyState(VK_SHIFT) < 0)) {
            SetFocus(next);
            // A one-line field is entered with its text selected, as in dialogs.
            const Item* item = itemOf(next);
            if (item && item->control->kind() == ControlKind::TextBox && !IsMultiLine(*item->control))
                SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return true;
    default:
        return false;
    }
}

void Win32WindowView::controlCommand(Item& item, int code) {
    Control& c = *item.control;
    if (c.kind() == ControlKind::Button && code == BN_CLICKED) {
        static_cast<Button&>(c).press();
    } else if (c.kind() == ControlKind::TickBox && code == BN_CLICKED) {
        static_cast<TickBox&>(c).click();  // the model may refuse it: it reports what it keeps
    } else if (c.kind() == ControlKind::TextBox && code == EN_CHANGE) {
        typingIn_ = item.hwnd;
        static_cast<TextBox&>(c).type(Narrow(TextOf(item.hwnd)));
        typingIn_ = nullptr;
    } else if (c.kind() == ControlKind::Label && code == STN_DBLCLK) {
        static_cast<Label&>(c).doubleClick();
    }
}

HBRUSH Win32WindowView::colourControl(HDC dc, HWND child) {
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

// Owner-drawn: the notice strip, pictures and lines.
void Win32WindowView::drawItem(const DRAWITEMSTRUCT& draw) {
    HDC dc = draw.hDC;
    const RECT& r = draw.rcItem;
    if (draw.hwndItem == notice_) {
        FillRect(dc, &r, brush(kNoticeBackground));
        const int margin = MulDiv(kNoticeMargin, static_cast<int>(dpi_), 96);
        RECT inside{r.left + margin, r.top + margin, r.right - margin, r.bottom - margin};
        const std::wstring text = TextOf(notice_);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(notice_, WM_GETFONT, 0, 0)));
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inside, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        SelectObject(dc, old);
        return;
    }
    const Item* item = itemOf(draw.hwndItem);
    if (!item) return;
    const Control& c = *item->control;
    FillRect(dc, &r, c.background() ? brush(*c.background()) : GetSysColorBrush(COLOR_BTNFACE));
    if (c.kind() == ControlKind::Picture) {
        images_.draw(c.text(), dc, r.left, r.top, dpi_, r);
    } else if (c.kind() == ControlKind::Line) {
        const COLORREF colour = c.foreground() ? Ref(*c.foreground()) : GetSysColor(COLOR_WINDOWTEXT);
        HPEN pen = CreatePen(PS_SOLID, 1, colour);
        HGDIOBJ old = SelectObject(dc, pen);
        // From one corner to the other, the end pixel included.
        const bool rising = c.place().width * c.place().height < 0;
        const POINT from{r.left, rising ? r.bottom - 1 : r.top}, to{r.right - 1, rising ? r.top : r.bottom - 1};
        MoveToEx(dc, from.x, from.y, nullptr);
        LineTo(dc, to.x, to.y);
        SetPixel(dc, to.x, to.y, colour);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void Win32WindowView::moved() {
    RECT r{};
    if (applying_ || detached_ || !shown_ || IsIconic(hwnd_) || !GetWindowRect(hwnd_, &r)) return;
    if (r.left == TwipsToPixels(window_.left(), dpi_) && r.top == TwipsToPixels(window_.top(), dpi_)) return;
    window_.movedByUser(static_cast<float>(PixelsToTwips(r.left, dpi_)),
                        static_cast<float>(PixelsToTwips(r.top, dpi_)));
}

void Win32WindowView::dpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0 || dpi == dpi_) return;
    dpi_ = dpi;
    const bool was = applying_;
    applying_ = true;
    for (Item& item : items_) {
        place(item);
        applyControl(item);
    }
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
        hwnd_ = notice_ = tips_ = nullptr;
        return DefWindowProcW(gone, message, wParam, lParam);
    }
    if (detached_) return DefWindowProcW(hwnd_, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        if (!lParam || applying_) return 0;
        if (LOWORD(wParam) == kNoticeId && HIWORD(wParam) == STN_CLICKED) {
            window_.setNotice({});  // a click dismisses the notice; the model hides the strip
        } else if (Item* item = itemOf(reinterpret_cast<HWND>(lParam))) {
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
        if (notice_) layoutNotice();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) != notice_) break;
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649) /*IDC_HAND*/));
        return TRUE;
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
        if (wParam - kFirstControlId < items_.size()) applyControl(items_[wParam - kFirstControlId]);
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
    detach();
    // Enabled again first, so that the owner is activated when this goes.
    if (modal_ && owner_) EnableWindow(owner_, TRUE);
    if (hwnd_) DestroyWindow(hwnd_);
    if (onDetached) onDetached();
}

void Win32WindowView::detach() {
    detached_ = true;
    window_.onControlChanged = nullptr;
    window_.onWindowChanged = nullptr;
}

Win32WindowView::Item* Win32WindowView::itemOf(HWND child) {
    auto it = std::find_if(items_.begin(), items_.end(), [child](const Item& i) { return child && i.hwnd == child; });
    return it == items_.end() ? nullptr : &*it;
}

HWND Win32WindowView::controlOf(const Control& control) const {
    for (const Item& item : items_)
        if (item.control == &control) return item.hwnd;
    return nullptr;
}

}  // namespace fhsw
