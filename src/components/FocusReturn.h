#pragma once
// Where the keyboard goes when a dialog of a window closes: to the control
// the window names, rather than back to the button that opened the dialog.
// The window keeps its focus widget while it is inactive and gives it the
// focus when it is active again, so setting it as the dialog hides is
// enough.
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

class TFocusReturn : public QObject
{
    Q_OBJECT
public:
    // Restore runs each time a dialog whose parent lies in Window hides
    // (accepted, rejected or closed, message boxes included).
    TFocusReturn(QWidget* Window, std::function<void()> Restore);
    ~TFocusReturn() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointer<QWidget> Window;
    std::function<void()> Restore;
};
