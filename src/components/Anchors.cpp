#include "Anchors.h"

#include <QEvent>

TRightAnchor::TRightAnchor(QWidget* control, int parentDesignWidth)
    : QObject(control), Control(control), Distance(parentDesignWidth - control->geometry().right() - 1)
{
    control->parentWidget()->installEventFilter(this);
}

bool TRightAnchor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && Control && watched == Control->parentWidget())
        Place();
    return false;
}

void TRightAnchor::Place()
{
    QWidget* parent = Control->parentWidget();
    Control->move(parent->width() - Distance - Control->width(), Control->y());
}
