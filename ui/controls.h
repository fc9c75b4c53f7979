// Toolkit-free models of the controls that make up a window. A window class
// holds its controls as members; a view (Qt or Win32) renders them and
// forwards user input to the methods below. Texts are UTF-8; multi-line texts use CR LF.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace fhsw {

class Window;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

namespace colours {
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 255, 0};
inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb LightCyan{128, 255, 255};
inline constexpr Rgb LightGreen{192, 255, 192};
}  // namespace colours

// Place of a control inside its window's client area, in twips.
struct TwipsRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

// The size the twips layouts of the windows were drawn for.
inline constexpr double kDefaultPointSize = 8;

enum class ControlKind { Label, TextBox, TickBox, Button, Frame, Picture, Line };
enum class Align { Left, Center, Right };

class Control {
public:
    Control(Window& window, std::string name, ControlKind kind, std::string text, TwipsRect place);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    ControlKind kind() const { return kind_; }

    // What may change while the window is shown; each change is reported to
    // the window's observer (the view).
    // Caption of labels, buttons, tick boxes and frames; content of text boxes.
    const std::string& text() const { return text_; }
    void setText(std::string text) { set(text_, std::move(text)); }
    bool enabled() const { return enabled_; }
    void setEnabled(bool on) { set(enabled_, on); }
    bool visible() const { return visible_; }
    void setVisible(bool on) { set(visible_, on); }
    // Unset colours mean the system's own (button face, window text, ...).
    const std::optional<Rgb>& foreground() const { return foreground_; }
    void setForeground(std::optional<Rgb> colour) { set(foreground_, colour); }
    const std::optional<Rgb>& background() const { return background_; }
    void setBackground(std::optional<Rgb> colour) { set(background_, colour); }

    // The look, set by the window's constructor before a view shows it; the
    // view reads it once.
    const TwipsRect& place() const { return place_; }
    bool bold() const { return bold_; }
    void setBold(bool on) { bold_ = on; }
    double pointSize() const { return pointSize_; }
    void setPointSize(double points) { pointSize_ = points; }
    Align align() const { return align_; }
    void setAlign(Align align) { align_ = align; }

protected:
    template <class T>
    void set(T& field, T value) {
        if (field == value) return;
        field = std::move(value);
        changed();
    }
    void changed();

private:
    Window& window_;
    std::string name_;
    ControlKind kind_;
    std::string text_;
    bool enabled_ = true;
    bool visible_ = true;
    TwipsRect place_;
    std::optional<Rgb> foreground_, background_;
    bool bold_ = false;
    double pointSize_ = kDefaultPointSize;
    Align align_ = Align::Left;
};

class Label : public Control {
public:
    Label(Window& w, std::string name, std::string caption, TwipsRect place)
        : Control(w, std::move(name), ControlKind::Label, std::move(caption), place) {}
    std::function<void()> onDoubleClick;
    void doubleClick() {
        if (enabled() && onDoubleClick) onDoubleClick();
    }
};

class TextBox : public Control {
public:
    TextBox(Window& w, std::string name, std::string text, TwipsRect place)
        : Control(w, std::move(name), ControlKind::TextBox, std::move(text), place) {}

    // Character shown in place of each typed one; empty shows the text.
    const std::string& passwordChar() const { return passwordChar_; }
    void setPasswordChar(std::string mask) { set(passwordChar_, std::move(mask)); }
    // Set by the window's constructor only, like the look.
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on) { readOnly_ = on; }
    bool multiLine() const { return multiLine_; }
    void setMultiLine(bool on) { multiLine_ = on; }
    bool tabStop() const { return tabStop_; }
    void setTabStop(bool on) { tabStop_ = on; }

    // What the user typed; ignored while the field is read-only or disabled.
    void type(std::string text) {
        if (enabled() && !readOnly_) setText(std::move(text));
    }

private:
    bool readOnly_ = false;
    bool multiLine_ = false;
    std::string passwordChar_;
    bool tabStop_ = true;
};

// A tick box runs onChange whenever its state really changes, whether the
// user clicked it or code set it, and also while it is disabled.
class TickBox : public Control {
public:
    TickBox(Window& w, std::string name, std::string caption, TwipsRect place)
        : Control(w, std::move(name), ControlKind::TickBox, std::move(caption), place) {}

    std::int16_t state() const { return state_; }
    bool ticked() const { return state_ == 1; }
    void setState(std::int16_t state) {
        if (state == state_) return;
        set(state_, state);
        if (onChange) onChange();
    }
    void setTicked(bool on) { setState(on ? 1 : 0); }
    // A user's click: only an enabled box reacts.
    void click() {
        if (enabled()) setTicked(!ticked());
    }
    std::function<void()> onChange;

private:
    std::int16_t state_ = 0;
};

class Button : public Control {
public:
    Button(Window& w, std::string name, std::string caption, TwipsRect place)
        : Control(w, std::move(name), ControlKind::Button, std::move(caption), place) {}
    std::function<void()> onPress;
    // A user's press (mouse, Enter on the default button, Esc on the cancel
    // button): only an enabled, visible button reacts.
    void press() {
        if (enabled() && visible() && onPress) onPress();
    }
};

// The house look of window titles and the status line: bold 12-point green
// text on black.
inline void StyleAsTitle(Label& title) {
    title.setForeground(colours::Green);
    title.setBackground(colours::Black);
    title.setBold(true);
    title.setPointSize(12);
}

class Frame : public Control {
public:
    Frame(Window& w, std::string name, std::string caption, TwipsRect place)
        : Control(w, std::move(name), ControlKind::Frame, std::move(caption), place) {}
};

// A fixed picture; `text` names the image resource.
class PictureBox : public Control {
public:
    PictureBox(Window& w, std::string name, std::string image, TwipsRect place)
        : Control(w, std::move(name), ControlKind::Picture, std::move(image), place) {}
};

// A decorative line from (left, top) to (left + width, top + height).
class Line : public Control {
public:
    Line(Window& w, std::string name, TwipsRect place)
        : Control(w, std::move(name), ControlKind::Line, "", place) {}
};

}  // namespace fhsw
