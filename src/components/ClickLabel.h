#pragma once
// Labels that act on a click: the banner views and the two brand links.
#include <QLabel>
#include <QString>

class TClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    // Where a click counts: the whole label.
    virtual bool ClickableAt(const QPoint& Pos) const { return rect().contains(Pos); }
};

// A link label: underlined caption, hand cursor, blue while the mouse is
// over it; a click opens its target address with the desktop's handler.
// Only the caption is the link: the label is wider than its text (it keeps
// room for a longer brand caption), and a click on the blank rest, or on a
// label with no caption at all, must not open the browser.
class TLinkLabel : public TClickLabel
{
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr);

    void SetTarget(const QString& Url) { Target = Url; }

protected:
    void mouseMoveEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool ClickableAt(const QPoint& Pos) const override;

private:
    QRect CaptionRect() const;
    void SetHot(bool Hot);
    void Open();
    QString Target;
};
