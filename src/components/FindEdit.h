#pragma once
// A find field: Esc empties it (and so shows every row again) instead of
// going on to whatever else Esc does in the window; an empty field lets
// Esc pass.
#include <QLineEdit>

class TFindEdit : public QLineEdit
{
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
