#pragma once
// Labels that act on a click: the banner views and the two brand links.
#include <QLabel>
#include <QString>

class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void Clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A link label: underlined caption, hand cursor, blue while the mouse is
// over it; a click opens its target address with the desktop's handler.
class TLinkLabel : public TClickLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr);

    void SetTarget(const QString& Url) { Target = Url; }
    QString TargetUrl() const { return Target; }

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void SetHot(bool Hot);
    void Open();
    QString Target;
};
