#include "SelectionBatcher.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QItemSelectionModel>

TSelectionBatcher::TSelectionBatcher(QAbstractItemView* ListView) : QObject(ListView), View(ListView)
{
    Timer.setSingleShot(true);
    Timer.setInterval(0);
    connect(&Timer, &QTimer::timeout, this, &TSelectionBatcher::Deliver);
    ListView->installEventFilter(this);
    ListView->viewport()->installEventFilter(this);
    Hook();
}

void TSelectionBatcher::Hook()
{
    QItemSelectionModel* current = View ? View->selectionModel() : nullptr;
    if (current == Hooked)
        return;
    for (const QMetaObject::Connection& c : Connections)
        disconnect(c);
    Connections.clear();
    Hooked = current;
    if (!current)
        return;
    Connections << connect(current, &QItemSelectionModel::selectionChanged, this,
                           &TSelectionBatcher::OnSelectionChanged);
    if (const QAbstractItemModel* m = current->model()) {
        // Refills and sorts move or drop the selection themselves; that is
        // not a choice of the operator.
        Connections << connect(m, &QAbstractItemModel::modelAboutToBeReset, this, &TSelectionBatcher::Mute);
        Connections << connect(m, &QAbstractItemModel::modelReset, this, &TSelectionBatcher::Unmute);
        Connections << connect(m, &QAbstractItemModel::layoutAboutToBeChanged, this,
                               &TSelectionBatcher::Mute);
        Connections << connect(m, &QAbstractItemModel::layoutChanged, this, &TSelectionBatcher::Unmute);
    }
}

void TSelectionBatcher::OnSelectionChanged(const QItemSelection& Selected, const QItemSelection&)
{
    if (Muted)
        return;
    Pending = true;
    if (!Selected.isEmpty())
        GotSelected = true;
    Timer.start();
}

void TSelectionBatcher::Flush()
{
    if (!Pending)
        return;
    Timer.stop();
    Pending = false;
    const bool rowsSelected = GotSelected && Hooked && Hooked->hasSelection();
    GotSelected = false;
    emit SelectionChanged(rowsSelected);
}

void TSelectionBatcher::Deliver()
{
    // A drag is one action: wait for the button to come up.
    if (!MouseHeld)
        Flush();
}

bool TSelectionBatcher::eventFilter(QObject* Watched, QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::KeyPress:
    case QEvent::FocusIn:
    case QEvent::Show:
        // The view may have been given another model since.
        Hook();
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        Hook();
        if (View && Watched == View->viewport())
            MouseHeld = true;
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::FocusOut:
    case QEvent::Hide:
        // The view can lose the mouse without a release (another window
        // popping up); never keep a change waiting for ever.
        MouseHeld = false;
        if (Pending)
            Timer.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(Watched, Event);
}
