// Shows one toolkit-free window model as a top-level Qt window. The renderer
// is generic: it builds a widget for each control by kind, keeps every widget
// in step with the model and hands user input back to the model.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "ui/window.h"

class QLabel;

namespace fhsw {

class QtWindowView final : public QDialog {
public:
    // `parent` is the owner's view for dialogs, nullptr for the main window.
    // The model must stay alive until it has closed or the view is destroyed.
    explicit QtWindowView(Window& window, QWidget* parent = nullptr);
    ~QtWindowView() override;

    // The widget that shows `control`; nullptr for a control of another window.
    QWidget* widgetOf(const Control& control) const;
    // True once the model has closed: the view is hidden, no longer follows
    // the model and is about to be deleted.
    bool detached() const { return detached_; }

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
    void applyWindow();
    void applyControl(const Item& item);
    void layoutNotice();
    void pressEnter();
    void detach();
    const Item* itemOf(const QObject* widget) const;
    QPoint framePos() const;

    Window& window_;
    std::vector<Item> items_;
    QLabel* notice_ = nullptr;  // the window's notice, hidden while there is none
    bool moving_ = false;       // the view itself moves the window
    bool detached_ = false;
};

}  // namespace fhsw
