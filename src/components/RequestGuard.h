#pragma once
// The one place that knows what a running request forbids. The HTTP client
// serves one request at a time and waits for it in a local event loop, so
// the window keeps taking input meanwhile; whatever would start a second
// request has to be refused until the first has ended.
//
// Two ways in, one decision: handlers that start a request ask Pending()
// and return at once; the controls that start one are protected, so that
// they visibly keep their state (a list keeps its selection and current
// row, a box its entry) instead of changing without effect. Everything
// else in the window keeps working: Settings, About, the links, the banner,
// the find field, moving and resizing, and Esc, which abandons the request.
//
// The main window's guard watches its HTTP client; a dialog that fetches
// through a service of the main window (the News window) says itself when
// its request runs.
#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QEvent;
class QWidget;
class THttpClient;

class TRequestGuard : public QObject
{
    Q_OBJECT
public:
    // Watches the application's input while it lives; a request is pending
    // while Client is busy, or while Pending says so.
    TRequestGuard(const THttpClient& Client, QObject* parent);
    TRequestGuard(std::function<bool()> Pending, QObject* parent);
    ~TRequestGuard() override;

    bool Pending() const;
    // Mouse, wheel and key input to Control and to everything inside it
    // (a list's viewport, a box's popup) is refused while Pending(): clicks,
    // drags with a button held, the wheel, and every key but Esc.
    void Protect(QWidget* Control);
    // Whether this input to Watched is refused now.
    bool Refuses(const QObject* Watched, const QEvent* Event) const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    std::function<bool()> IsPending;
    QList<QPointer<QWidget>> Controls;
};
