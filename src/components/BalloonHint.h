#pragma once
// The balloon hint of the main window: a small rounded note with a shadow
// that opens below-left of a control's centre, like a tooltip that points at
// it, and stays with the control when the window is moved or resized. A
// click on it, or a few seconds, closes it.
#include <QPainterPath>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class TBalloonHint : public QWidget
{
    Q_OBJECT
public:
    explicit TBalloonHint(QWidget* owner);

    int ShadowDepth = 4;
    int DisplayMs = 6000;

    // Closes a balloon still showing, then shows Text with its top-right
    // corner at the centre of Anchor.
    void ShowMessage(const QString& Text, QWidget* Anchor);
    void HideMessage();
    QString Text() const { return Message; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // Follows the anchor and its window.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QSize BodySize() const;
    QPainterPath Shape() const;
    void Place();
    QPointer<QWidget> Anchor;
    QString Message;
    QString Drawn; // Message with its CR LF breaks as the painter wants them
    QTimer Life;
};
