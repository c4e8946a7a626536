#include "MarkDelegate.h"

TMarkDelegate::TMarkDelegate(int MarkRole, QObject* parent) : QStyledItemDelegate(parent), Role(MarkRole) {}

void TMarkDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(Role).toBool())
        option->backgroundBrush = QColor(255, 241, 184);
}
