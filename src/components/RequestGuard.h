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
#include <QList>
#include <QObject>
#include <QPointer>

class QEvent;
class QWidget;
class THttpClient;

class TRequestGuard : public QObject
{
    Q_OBJECT
public:
    // Watches the application's input while it lives.
    TRequestGuard(const THttpClient& Client, QObject* parent);
    ~TRequestGuard() override;

    bool Pending() const;
    // Mouse, wheel and key input to Control and to everything inside it
    // (a list's viewport, a box's popup) is refused while Pending().
    void Protect(QWidget* Control);
    // Whether this input to Watched is refused now.
    bool Refuses(const QObject* Watched, const QEvent* Event) const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // The client and the guard both belong to the window, and the window's
    // children are deleted one after the other: while the client goes, the
    // guard still sees the events that its destruction sends.
    QPointer<const THttpClient> Client;
    QList<QPointer<QWidget>> Controls;
};
