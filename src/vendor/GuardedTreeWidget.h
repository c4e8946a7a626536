#pragma once
// A report-style list whose selection can be frozen: while CanChange says
// no, neither the mouse, the keyboard nor code moves the selection. The news
// window freezes its list while an item's body is being fetched, because the
// fetch keeps the event loop running and the user can click meanwhile.
#include <QTreeWidget>
#include <functional>

class TGuardedTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit TGuardedTreeWidget(QWidget* parent = nullptr);
    ~TGuardedTreeWidget() override;

    // Asked before every selection change; an empty function allows all.
    std::function<bool()> CanChange;

    bool ChangeAllowed() const { return !CanChange || CanChange(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
