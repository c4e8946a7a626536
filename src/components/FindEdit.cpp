#include "FindEdit.h"

#include <QKeyEvent>

namespace
{

bool IsPlainEscape(const QKeyEvent* e)
{
    return e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier;
}

} // namespace

bool TFindEdit::event(QEvent* e)
{
    // Claim Esc before any shortcut of the window sees it, while there is
    // text to clear.
    if (e->type() == QEvent::ShortcutOverride && IsPlainEscape(static_cast<QKeyEvent*>(e)) &&
        !text().isEmpty()) {
        e->accept();
        return true;
    }
    return QLineEdit::event(e);
}

void TFindEdit::keyPressEvent(QKeyEvent* e)
{
    if (IsPlainEscape(e) && !text().isEmpty()) {
        clear();
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}
