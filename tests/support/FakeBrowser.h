#pragma once
// A recording stand-in for the user's web browser: a real executable that
// appends its arguments to a log, installed the way the kind says. The
// desktop's settings ($XDG_* folders), $BROWSER and PATH are the fake's own
// while it lives, so nothing of the machine's own set-up is found.
#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QTemporaryDir>

namespace tftest
{

// Saves the browser-related environment and restores it on exit.
class TBrowserEnvironment
{
public:
    TBrowserEnvironment();
    ~TBrowserEnvironment();

private:
    QList<QPair<QByteArray, QByteArray>> Saved;
};

class TFakeBrowser
{
public:
    enum TKind {
        DesktopDefault,  // the desktop's default for http (a .desktop entry)
        BrokenDefault,   // a default that cannot start, and x-www-browser on PATH
        SensibleBrowser, // only sensible-browser on PATH
        BrowserVariable, // only $BROWSER, as "program --flag %s"
    };
    explicit TFakeBrowser(TKind Kind = DesktopDefault);

    // One entry per launch, each the browser's arguments joined by "\x1f".
    QStringList Calls() const;
    bool WaitForCalls(int count, int timeoutMs = 5000) const;

private:
    TBrowserEnvironment Environment;
    QTemporaryDir Dir;
};

// No browser anywhere: for the "nothing could be started" case.
class TNoBrowser
{
public:
    TNoBrowser();

private:
    TBrowserEnvironment Environment;
    QTemporaryDir Dir;
};

} // namespace tftest
