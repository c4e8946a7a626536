#pragma once
// A recording stand-in for the desktop's browser launcher: a real executable
// named xdg-open, put first on PATH, that appends its arguments to a log.
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

namespace tftest {

class TFakeBrowser {
public:
    TFakeBrowser();  // installs itself first on PATH
    ~TFakeBrowser(); // restores PATH

    // One entry per launch, each the launcher's arguments joined by "\x1f".
    QStringList Calls() const;
    bool WaitForCalls(int count, int timeoutMs = 5000) const;

private:
    QTemporaryDir Dir;
    QByteArray OldPath;
};

// PATH without any xdg-open: for the "no browser" case. Restores on exit.
class TNoBrowser {
public:
    TNoBrowser();
    ~TNoBrowser();

private:
    QTemporaryDir Dir;
    QByteArray OldPath;
};

} // namespace tftest
