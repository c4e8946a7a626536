#include "FakeBrowser.h"

#include "TestFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace tftest
{

namespace
{

const char* const Variables[] = {"PATH",          "BROWSER",       "XDG_CONFIG_HOME",    "XDG_CONFIG_DIRS",
                                 "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"};

void WriteFile(const QString& Path, const QByteArray& Text, bool Executable = false)
{
    QDir().mkpath(QFileInfo(Path).path());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << Path.toStdString();
    f.write(Text);
    f.close();
    if (Executable)
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The desktop's settings and every search path point into Dir only.
void Isolate(const QTemporaryDir& Dir)
{
    qputenv("PATH", Dir.filePath("bin").toLocal8Bit());
    qunsetenv("BROWSER");
    qunsetenv("XDG_CURRENT_DESKTOP");
    qputenv("XDG_CONFIG_HOME", Dir.filePath("config").toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", Dir.filePath("etc").toLocal8Bit());
    qputenv("XDG_DATA_HOME", Dir.filePath("data").toLocal8Bit());
    qputenv("XDG_DATA_DIRS", Dir.filePath("share").toLocal8Bit());
    QDir().mkpath(Dir.filePath("bin"));
}

QString LogPath(const QTemporaryDir& dir)
{
    return dir.filePath("calls.log");
}

} // namespace

TBrowserEnvironment::TBrowserEnvironment()
{
    for (const char* name : Variables)
        Saved.append({name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()});
}

TBrowserEnvironment::~TBrowserEnvironment()
{
    for (const auto& [name, value] : Saved) {
        if (value.isNull())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

TFakeBrowser::TFakeBrowser(TKind Kind)
{
    Isolate(Dir);
    // Arguments joined by the unit separator, one launch per line; written
    // in one append so concurrent launches do not interleave.
    const QByteArray script = "#!/bin/sh\n"
                              "line=\"\"\n"
                              "sep=\"\"\n"
                              "for a in \"$@\"; do line=\"$line$sep$a\"; sep=$(printf '\\037'); done\n"
                              "printf 'call:%s\\n' \"$line\" >> \"" +
                              LogPath(Dir).toLocal8Bit() + "\"\n";
    const QString program = Dir.filePath("web browser");
    WriteFile(program, script, true);
    switch (Kind) {
    case DesktopDefault:
    case BrokenDefault:
        // The first entry named does not exist; the second is used.
        WriteFile(Dir.filePath("config/mimeapps.list"),
                  "[Added Associations]\nx-scheme-handler/http=other.desktop\n"
                  "[Default Applications]\nx-scheme-handler/http=gone.desktop;web.desktop;\n");
        WriteFile(Dir.filePath("share/applications/web.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Web\nExec=\"" +
                      (Kind == DesktopDefault ? program : Dir.filePath("no such browser")).toLocal8Bit() +
                      "\" %U\n");
        if (Kind == BrokenDefault)
            WriteFile(Dir.filePath("bin/x-www-browser"), script, true);
        break;
    case SensibleBrowser:
        WriteFile(Dir.filePath("bin/sensible-browser"), script, true);
        break;
    case BrowserVariable:
        qputenv("BROWSER", "no-such-browser:\"" + program.toLocal8Bit() + "\" --flag %s");
        break;
    }
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

TNoBrowser::TNoBrowser()
{
    Isolate(Dir);
}

} // namespace tftest
