#pragma once
// The balloon hint of the main window: a small rounded note with a shadow
// that opens below-left of a screen point, like a tooltip that points at a
// control. A click on it, or a few seconds, closes it.
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

class TBalloonHint : public QWidget {
    Q_OBJECT
public:
    explicit TBalloonHint(QWidget* owner);

    int ShadowDepth = 4;
    int DisplayMs = 6000;

    // Closes a balloon still showing, then shows Text with its top-right
    // corner at ScreenPoint.
    void ShowMessage(const QString& Text, const QPoint& ScreenPoint);
    void HideMessage();
    QString Text() const { return Message; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QSize BodySize() const;
    QString Message;
    QString Drawn; // Message with its CR LF breaks as the painter wants them
    QTimer Life;
};
