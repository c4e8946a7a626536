#pragma once
// Window test helpers: find controls by object name, click them, and answer
// the modal dialogs and message boxes the program opens, as a user would.
#include <QMessageBox>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

class TfrmMain;

namespace tftest
{

template <class T> T* Find(const QObject* root, const char* name)
{
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no control named " << name;
    return w;
}

// The texts of one column of a list window, top to bottom.
QStringList ColumnTexts(const QObject* root, const char* list, int column);

// Shows the main window and waits until its start-up sequence (news, update
// check, first load of the lists) has run; false when it did not within
// TimeoutMs.
bool ShowUntilStarted(TfrmMain& Window, int TimeoutMs);

// Whether the main window has a request running, as the operator sees it:
// the stop button beside the gauge is enabled exactly then.
bool RequestRunning(const QWidget& Window);

// Clicks a widget in its middle with the left button (a real mouse event).
void Click(QWidget* w);

// Answers modal windows in the order they appear. Every message box seen is
// recorded as "text"; a modal that shows up with no answer queued is closed
// and recorded in Unexpected, so a test fails instead of hanging.
class TModalPilot
{
public:
    TModalPilot();
    ~TModalPilot();

    // Next modal is a message box: record it and press this button.
    void Answer(QMessageBox::StandardButton button);
    // Next modal is any window: hand it to the function (which closes it).
    void Handle(std::function<void(QWidget*)> handler);

    QStringList Messages;   // texts of the message boxes, in order
    QStringList Unexpected; // modals nobody had an answer for
    int Pending() const { return int(Queue.size()); }

private:
    void Poll();
    std::deque<std::function<void(QWidget*)>> Queue;
    QList<QPointer<QWidget>> Handled;
    QTimer Timer;
};

// Text of a message box with the line breaks as they are.
QString MessageText(QWidget* modal);

} // namespace tftest
