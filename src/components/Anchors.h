#pragma once
// Geometry that follows a parent's size: right-anchored controls, and work
// that has to run once a layout has given a panel its final size (which
// comes after the window's own resize).
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

// Keeps a control at its distance from the right edge of its parent while
// the parent is resized, the way right-anchored controls behave.

class TRightAnchor : public QObject
{
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

// Calls Do after every resize of Panel, for as long as Panel lives.
void OnResize(QWidget* Panel, std::function<void()> Do);
