#include "FakeBrowser.h"

#include "TestFolders.h"

#include <QFile>
#include <gtest/gtest.h>

namespace tftest {

namespace {
QString LogPath(const QTemporaryDir& dir)
{
    return dir.filePath("calls.log");
}
} // namespace

TFakeBrowser::TFakeBrowser() : OldPath(qgetenv("PATH"))
{
    const QString script = Dir.filePath("xdg-open");
    QFile f(script);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    // Arguments joined by the unit separator, one launch per line; written
    // in one append so concurrent launches do not interleave.
    f.write("#!/bin/sh\n"
            "line=\"\"\n"
            "sep=\"\"\n"
            "for a in \"$@\"; do line=\"$line$sep$a\"; sep=$(printf '\\037'); done\n"
            "printf 'call:%s\\n' \"$line\" >> \"" +
            LogPath(Dir).toLocal8Bit() + "\"\n");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("PATH", Dir.path().toLocal8Bit() + ":" + OldPath);
}

TFakeBrowser::~TFakeBrowser()
{
    qputenv("PATH", OldPath);
}

QStringList TFakeBrowser::Calls() const
{
    QFile f(LogPath(Dir));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList calls;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("call:"))
            calls << QString::fromLocal8Bit(line.mid(5));
    return calls;
}

bool TFakeBrowser::WaitForCalls(int count, int timeoutMs) const
{
    return WaitFor([&] { return Calls().size() >= count; }, timeoutMs);
}

TNoBrowser::TNoBrowser() : OldPath(qgetenv("PATH"))
{
    // An empty folder only: nothing called xdg-open can be found.
    qputenv("PATH", Dir.path().toLocal8Bit());
}

TNoBrowser::~TNoBrowser()
{
    qputenv("PATH", OldPath);
}

} // namespace tftest
