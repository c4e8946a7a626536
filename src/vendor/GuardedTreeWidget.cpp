#include "GuardedTreeWidget.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

namespace
{
// Refuses selections the list does not allow right now, whichever way they
// come in (views, code, model resets all go through these).
class TGuardedSelectionModel : public QItemSelectionModel
{
public:
    TGuardedSelectionModel(QAbstractItemModel* model, TGuardedTreeWidget* view)
        : QItemSelectionModel(model, view), View(view)
    {
    }

    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        if (!View || View->ChangeAllowed())
            QItemSelectionModel::select(index, command);
    }

    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override
    {
        if (!View || View->ChangeAllowed())
            QItemSelectionModel::select(selection, command);
    }

    // The list is going away: its base classes still reset the selection
    // while they are destroyed, when the list itself can no longer be asked.
    void Detach() { View = nullptr; }

private:
    TGuardedTreeWidget* View;
};
} // namespace

TGuardedTreeWidget::TGuardedTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    QItemSelectionModel* old = selectionModel();
    setSelectionModel(new TGuardedSelectionModel(model(), this));
    delete old;
}

TGuardedTreeWidget::~TGuardedTreeWidget()
{
    if (auto* guarded = dynamic_cast<TGuardedSelectionModel*>(selectionModel()))
        guarded->Detach();
}

// While frozen the input is swallowed as well, so that not even the current
// row (the focus frame) wanders away from the selected one.
void TGuardedTreeWidget::mousePressEvent(QMouseEvent* event)
{
    if (ChangeAllowed())
        QTreeWidget::mousePressEvent(event);
    else
        event->accept();
}

void TGuardedTreeWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (ChangeAllowed())
        QTreeWidget::mouseMoveEvent(event);
    else
        event->accept();
}

void TGuardedTreeWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (ChangeAllowed())
        QTreeWidget::mouseReleaseEvent(event);
    else
        event->accept();
}

void TGuardedTreeWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (ChangeAllowed())
        QTreeWidget::mouseDoubleClickEvent(event);
    else
        event->accept();
}

void TGuardedTreeWidget::keyPressEvent(QKeyEvent* event)
{
    // Ignored rather than eaten: Escape and Enter still reach the window.
    if (ChangeAllowed())
        QTreeWidget::keyPressEvent(event);
    else
        event->ignore();
}
