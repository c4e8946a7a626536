#pragma once
// The keys of one window, seen before any of its controls gets them. A
// window's own keys (Esc abandons the running request, Enter presses the
// welcome page's button) must work whichever control has the focus, and a
// control that takes a key itself (a list takes Enter, an HTML view takes
// every key) would otherwise keep it from the window.
#include <QObject>
#include <QPointer>
#include <functional>

class QKeyEvent;
class QWidget;

class TWindowKeys : public QObject
{
    Q_OBJECT
public:
    // Handler is given each key pressed in Window or in any of its controls
    // (not in its dialogs) and returns true for a key it used up.
    using THandler = std::function<bool(QWidget* Receiver, QKeyEvent* Event)>;
    TWindowKeys(QWidget* Window, THandler Handler);
    ~TWindowKeys() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointer<QWidget> Window;
    THandler Handler;
};
