#pragma once
// Turns the selection changes of a list view into one notification per
// operator action. A click, a shift-click range, a drag across rows, Select
// All or Clear Selection each end in a single SelectionChanged, so the sales
// are reloaded once with every selected id instead of once per row.
//
// The notification comes once the action is over: after the event that
// changed the selection has been handled, and for a mouse drag when the
// button is released. Changes that come from refilling or sorting the list
// are not the operator's and raise nothing.
#include <QItemSelection>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAbstractItemView;
class QItemSelectionModel;

class TSelectionBatcher : public QObject
{
    Q_OBJECT
public:
    // Watches View's selection model; make it after the view got its model.
    explicit TSelectionBatcher(QAbstractItemView* ListView);

signals:
    // RowsSelected: at least one row became selected by the action and some
    // row is still selected. False when the action only unselected rows.
    void SelectionChanged(bool RowsSelected);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Hook();
    void OnSelectionChanged(const QItemSelection& Selected, const QItemSelection& Deselected);
    void Deliver();
    // Delivers a notification that is waiting, at once.
    void Flush();
    void Mute() { Muted = true; }
    void Unmute() { Muted = false; }

    QPointer<QAbstractItemView> View;
    QPointer<QItemSelectionModel> Hooked;
    QList<QMetaObject::Connection> Connections;
    QTimer Timer;
    bool Pending = false;
    bool GotSelected = false;
    bool MouseHeld = false;
    bool Muted = false;
};
