#include "RequestGuard.h"

#include "net/HttpClient.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace
{

bool IsInput(const QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    case QEvent::MouseMove:
        // A list selects what a held button is dragged over; hovering is free.
        return static_cast<const QMouseEvent*>(Event)->buttons() != Qt::NoButton;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // Every key, Tab and Backtab too: a list would move its current row
        // on them. Esc stays, it is the way out of the request.
        return static_cast<const QKeyEvent*>(Event)->key() != Qt::Key_Escape;
    default:
        return false;
    }
}

} // namespace

TRequestGuard::TRequestGuard(const THttpClient& client, QObject* parent)
    // The client and the guard both belong to the window, and the window's
    // children are deleted one after the other: while the client goes, the
    // guard still sees the events that its destruction sends.
    : TRequestGuard([c = QPointer<const THttpClient>(&client)] { return c && c->Busy(); }, parent)
{
}

TRequestGuard::TRequestGuard(std::function<bool()> pending, QObject* parent)
    : QObject(parent), IsPending(std::move(pending))
{
    qApp->installEventFilter(this);
}

TRequestGuard::~TRequestGuard()
{
    qApp->removeEventFilter(this);
}

bool TRequestGuard::Pending() const
{
    return IsPending && IsPending();
}

void TRequestGuard::Protect(QWidget* Control)
{
    if (Control)
        Controls << Control;
}

bool TRequestGuard::Refuses(const QObject* Watched, const QEvent* Event) const
{
    if (!IsInput(Event) || !Pending())
        return false;
    for (const QObject* o = Watched; o; o = o->parent())
        for (const QPointer<QWidget>& control : Controls)
            if (control == o)
                return true;
    return false;
}

bool TRequestGuard::eventFilter(QObject* Watched, QEvent* Event)
{
    return Refuses(Watched, Event) || QObject::eventFilter(Watched, Event);
}
