#pragma once
// Keeps a control at its distance from the right edge of its parent while
// the parent is resized, the way right-anchored controls behave.
#include <QObject>
#include <QPointer>
#include <QWidget>

class TRightAnchor : public QObject {
public:
    // Distance is measured now, from the control's current geometry.
    TRightAnchor(QWidget* Control, int ParentDesignWidth);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();
    QPointer<QWidget> Control;
    int Distance;
};
