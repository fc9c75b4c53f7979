// Shows one toolkit-free window model as a top-level Qt window. The renderer
// is generic: it builds a widget for each control by kind, keeps every widget
// in step with the model and hands user input back to the model.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

#include "ui/window.h"

class QLabel;
class QWidget;

namespace fhsw {

// Model geometry is in twips; the view works in pixels.
int TwipsToPixels(double twips);
// Outer width and height in twips taken by the frame and title bar.
inline constexpr int kFrameWidthTwips = 90;
inline constexpr int kFrameHeightTwips = 435;

// Fits a label's whole text into its area (FitText): wrapped, in a smaller
// face when needed, and as its tooltip when longer than one line.
void FitLabelText(QLabel* label);

// Multi-line texts: the model keeps CR LF, the editor shows LF.
std::string ToDisplayLines(const std::string& modelText);
std::string ToModelLines(const std::string& displayText);

class QtWindowView final : public QDialog {
public:
    // `parent` is the owner's view for dialogs, nullptr for the main window.
    // The model must stay alive until it has closed or the view is destroyed.
    explicit QtWindowView(Window& window, QWidget* parent = nullptr);
    ~QtWindowView() override;

    Window& model() const { return window_; }
    // The widget that shows `control`; nullptr for a control of another window.
    QWidget* widgetOf(const Control& control) const;
    // True once the model has closed: the view is hidden, no longer follows
    // the model and is about to be deleted.
    bool detached() const { return detached_; }

    // Pixel position of the frame and size of the client area that the
    // model's geometry asks for.
    QPoint modelFramePos() const;
    QSize modelClientSize() const;

    // Run after the model closed and the view let go of it.
    std::function<void()> onDetached;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Item {
        Control* control;
        QWidget* widget;
    };

    QWidget* createWidget(Control& control);
    void wireInput(Control& control, QWidget* widget);
    void applyWindow();
    void applyControl(Item& item);
    void applyCommon(Control& control, QWidget* widget);
    void applyDefaultMarks();
    void applyNotice();
    void layoutNotice();
    void fixStacking();
    void fixTabOrder();
    void resyncText(TextBox& box);
    void resyncTick(TickBox& box);
    void modelClosed();
    void detach();
    Item* itemOf(const Control& control);
    Item* itemOf(const QObject* widget);
    void pressEnter();

    Window& window_;
    std::vector<Item> items_;
    QLabel* notice_ = nullptr;  // the window's notice, made when the first one comes
    bool applying_ = false;
    bool detached_ = false;
    ObserverHold observing_;  // the model's change observers, chained
};

}  // namespace fhsw
