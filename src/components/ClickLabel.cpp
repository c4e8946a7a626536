#include "ClickLabel.h"

#include "util/UUtils.h"

#include <QMouseEvent>
#include <QStyle>

void TClickLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit Clicked();
}

TLinkLabel::TLinkLabel(QWidget* parent) : TClickLabel(parent)
{
    // Captions come from the brand file and are shown as written: as rich
    // text they could name pictures, which a label would load from the disk.
    setTextFormat(Qt::PlainText);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setProperty("linkHot", false);
    connect(this, &TClickLabel::Clicked, this, &TLinkLabel::Open);
}

void TLinkLabel::enterEvent(QEnterEvent* e)
{
    TClickLabel::enterEvent(e);
    SetHot(true);
}

void TLinkLabel::leaveEvent(QEvent* e)
{
    TClickLabel::leaveEvent(e);
    SetHot(false);
}

void TLinkLabel::SetHot(bool Hot)
{
    // The skin colours the label by this property; re-polish to apply it.
    setProperty("linkHot", Hot);
    style()->unpolish(this);
    style()->polish(this);
}

void TLinkLabel::Open()
{
    OpenInBrowser(Target);
}
