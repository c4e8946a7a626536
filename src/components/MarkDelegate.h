#pragma once
// Paints the rows that a model marks (a role that is true for them) on a
// soft yellow, so the operator sees what a live refresh just brought.
#include <QStyledItemDelegate>

class TMarkDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    TMarkDelegate(int MarkRole, QObject* parent);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    int Role;
};
