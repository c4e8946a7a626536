#pragma once
// The error reporter: an exception that no handler caught is appended to
// tallyfair-errors.log in the program's folder, with the time, and shown in
// a message box; the program then goes on.
#include <QApplication>
#include <QString>

class TErrorReporter
{
public:
    static void SetFolder(const QString& Folder);
    static QString LogPath();
    // Records the message and shows it. Never throws.
    static void Report(const QString& Message);
};

// The program's application object: every event is delivered inside a
// guard that hands escaping exceptions to the reporter.
class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
