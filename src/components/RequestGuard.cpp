#include "RequestGuard.h"

#include "net/HttpClient.h"

#include <QApplication>
#include <QKeyEvent>
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

TRequestGuard::TRequestGuard(const THttpClient& client, QObject* parent) : QObject(parent), Client(&client)
{
    qApp->installEventFilter(this);
}

TRequestGuard::~TRequestGuard()
{
    qApp->removeEventFilter(this);
}

bool TRequestGuard::Pending() const
{
    return Client && Client->Busy();
}

void TRequestGuard::Protect(QWidget* Control)
{
    if (Control)
        Controls << Control;
}

bool TRequestGuard::Refuses(const QObject* Watched, const QEvent* Event) const
{
    if (!Pending() || !IsInput(Event))
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
