// Shows one toolkit-free window model as a native Win32 window. The renderer
// is generic: it makes a child control for each model control by kind, keeps
// every control in step with the model and hands user input back to it.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ui/window.h"

namespace fhsw {

class Win32Images;

// The DPI of the system, in which a new window is placed.
UINT SystemDpi();

class Win32WindowView {
public:
    // `owner` is the owner's window for dialogs, nullptr for the main window.
    // `modal`: the owner is disabled while the view is shown and enabled
    // again before the view goes. The model must stay alive until it has
    // closed or the view is destroyed.
    Win32WindowView(Window& window, HWND owner, bool modal, Win32Images& images);
    ~Win32WindowView();
    Win32WindowView(const Win32WindowView&) = delete;
    Win32WindowView& operator=(const Win32WindowView&) = delete;

    HWND hwnd() const { return hwnd_; }
    HWND owner() const { return owner_; }
    // The DPI the window is laid out for (its monitor's).
    UINT dpi() const { return dpi_; }
    // The control window that shows `control`; nullptr for another window's.
    HWND controlOf(const Control& control) const;
    // The strip along the bottom that shows the window's notice, hidden
    // while there is none.
    HWND noticeStrip() const { return notice_; }
    // The tooltip control of the window: the whole text of a label too long
    // for one line and of the notice.
    HWND tooltip() const { return tips_; }
    // True once the model has closed: the window is gone and the view no
    // longer follows the model.
    bool detached() const { return detached_; }

    // Shows the window (disabling the owner of a modal view) and focuses
    // its first control.
    void show();
    // Keys handled before the standard dialog navigation: Enter, Ctrl+Enter
    // in a multi-line field, Esc, Tab. True when the message was used.
    bool preTranslate(const MSG& msg);

    // Run after the model closed and the view let go of it (the window is
    // destroyed, the view object is not).
    std::function<void()> onDetached;

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Item {
        Control* control = nullptr;
        int id = 0;
        HWND hwnd = nullptr;
        bool wraps = false;  // a multi-line field whose lines are wrapped
        std::optional<Rgb> foreground{}, background{};  // as last drawn
    };

    void createControl(Item& item);
    void place(Item& item);
    void applyWindow();
    void applyControl(Item& item);
    void layoutNotice();
    // Chooses the face size of a label (FitText) and its tooltip.
    double fitLabel(const Item& item);
    // The tooltip of a control; an empty text takes it away.
    void setTip(HWND control, const std::wstring& text);
    void controlCommand(Item& item, int code);
    HBRUSH colourControl(HDC dc, HWND child);
    void drawItem(const DRAWITEMSTRUCT& draw);
    void moved();
    void dpiChanged(UINT dpi, const RECT* suggested);
    void modelClosed();
    void detach();
    Item* itemOf(HWND child);
    HFONT font(bool bold, double points);
    HBRUSH brush(const Rgb& colour);

    Window& window_;
    HWND owner_;
    bool modal_;
    Win32Images& images_;
    HWND hwnd_ = nullptr;
    UINT dpi_ = 96;
    std::vector<Item> items_;
    HWND notice_ = nullptr;
    HWND tips_ = nullptr;  // owned by the window
    HWND lastFocus_ = nullptr;
    HWND typingIn_ = nullptr;  // the field whose typed text goes to the model now
    bool applying_ = false;
    bool detached_ = false;
    bool shown_ = false;
    std::map<std::tuple<bool, int, UINT>, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace fhsw
