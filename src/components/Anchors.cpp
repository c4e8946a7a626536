#include "Anchors.h"

#include <QEvent>

TRightAnchor::TRightAnchor(QWidget* control, int parentDesignWidth)
    : QObject(control), Control(control), Distance(parentDesignWidth - control->geometry().right() - 1)
{
    control->parentWidget()->installEventFilter(this);
}

bool TRightAnchor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && Control && watched == Control->parentWidget())
        Place();
    return false;
}

void TRightAnchor::Place()
{
    QWidget* parent = Control->parentWidget();
    Control->move(parent->width() - Distance - Control->width(), Control->y());
}

namespace
{

class TResizeWatch : public QObject
{
public:
    TResizeWatch(QWidget* panel, std::function<void()> action) : QObject(panel), Action(std::move(action))
    {
        panel->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parent() && event->type() == QEvent::Resize)
            Action();
        return false;
    }

private:
    std::function<void()> Action;
};

} // namespace

void OnResize(QWidget* Panel, std::function<void()> Do)
{
    new TResizeWatch(Panel, std::move(Do));
}
