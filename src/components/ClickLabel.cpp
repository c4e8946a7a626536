#include "ClickLabel.h"

#include "util/UUtils.h"

#include <QMouseEvent>
#include <QStyle>

void TClickLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && ClickableAt(e->position().toPoint()))
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
    setMouseTracking(true);
    setProperty("linkHot", false);
    connect(this, &TClickLabel::Clicked, this, &TLinkLabel::Open);
}

QRect TLinkLabel::CaptionRect() const
{
    if (text().isEmpty())
        return {};
    const QRect area = contentsRect();
    const QSize size(fontMetrics().horizontalAdvance(text()), fontMetrics().height());
    return QStyle::alignedRect(layoutDirection(), alignment(), size, area);
}

bool TLinkLabel::ClickableAt(const QPoint& Pos) const
{
    return CaptionRect().contains(Pos);
}

void TLinkLabel::mouseMoveEvent(QMouseEvent* e)
{
    TClickLabel::mouseMoveEvent(e);
    const bool hot = ClickableAt(e->position().toPoint());
    if (hot != property("linkHot").toBool())
        SetHot(hot);
}

void TLinkLabel::leaveEvent(QEvent* e)
{
    TClickLabel::leaveEvent(e);
    SetHot(false);
}

void TLinkLabel::SetHot(bool Hot)
{
    setCursor(Hot ? Qt::PointingHandCursor : Qt::ArrowCursor);
    // The skin colours the label by this property; re-polish to apply it.
    setProperty("linkHot", Hot);
    style()->unpolish(this);
    style()->polish(this);
}

void TLinkLabel::Open()
{
    OpenInBrowser(Target);
}
