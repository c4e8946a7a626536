#include "WindowKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

TWindowKeys::TWindowKeys(QWidget* window, THandler handler) : Window(window), Handler(std::move(handler))
{
    qApp->installEventFilter(this);
}

TWindowKeys::~TWindowKeys()
{
    qApp->removeEventFilter(this);
}

bool TWindowKeys::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::KeyPress && Window && Handler) {
        auto* widget = qobject_cast<QWidget*>(Watched);
        if (widget && widget->window() == Window && Handler(widget, static_cast<QKeyEvent*>(Event)))
            return true;
    }
    return QObject::eventFilter(Watched, Event);
}
