#pragma once
// msgMain: the one message box component of the program. Every window shows
// its questions and notices through it, so they all look and behave alike:
// a warning or information box with OK, or with OK and Cancel, where a
// question goes ahead only on OK.
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

enum class TMsgKind { Warning, Information };

class TMessageBox : public QObject
{
    Q_OBJECT
public:
    explicit TMessageBox(QWidget* owner);

    // A box with the single button OK.
    void Notice(const QString& Text, TMsgKind Kind = TMsgKind::Warning);
    // A box with OK and Cancel; true only when OK was pressed.
    bool Question(const QString& Text, TMsgKind Kind = TMsgKind::Warning);
    // A quiet box shows nothing: a notice passes, a question is cancelled.
    // The main window turns quiet once it is closing.
    void SetQuiet(bool On) { Quiet = On; }

private:
    int Show(const QString& Text, TMsgKind Kind, bool WithCancel);
    QPointer<QWidget> Owner;
    bool Quiet = false;
};
