#include "FocusReturn.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>

TFocusReturn::TFocusReturn(QWidget* window, std::function<void()> restore)
    : Window(window), Restore(std::move(restore))
{
    qApp->installEventFilter(this);
}

TFocusReturn::~TFocusReturn()
{
    qApp->removeEventFilter(this);
}

bool TFocusReturn::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::Hide && Window && Restore) {
        auto* dialog = qobject_cast<QDialog*>(Watched);
        if (dialog && dialog->isWindow() && dialog->parentWidget() &&
            dialog->parentWidget()->window() == Window)
            Restore();
    }
    return QObject::eventFilter(Watched, Event);
}
