#include "DesktopBrowser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace
{

QString EnvOr(const char* Name, const QString& Fallback)
{
    const QString value = qEnvironmentVariable(Name);
    return value.isEmpty() ? Fallback : value;
}

QStringList EnvList(const char* Name, const QString& Fallback)
{
    return EnvOr(Name, Fallback).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString Home(const QString& Path)
{
    return QDir::homePath() + Path;
}

// Folders of the desktop entries (and of older mimeapps.list files).
QStringList ApplicationFolders()
{
    QStringList folders{EnvOr("XDG_DATA_HOME", Home(QStringLiteral("/.local/share")))};
    folders += EnvList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (QString& f : folders)
        f += QStringLiteral("/applications");
    return folders;
}

// Folders holding mimeapps.list, in the order the desktop consults them.
QStringList MimeAppsFolders()
{
    QStringList folders{EnvOr("XDG_CONFIG_HOME", Home(QStringLiteral("/.config")))};
    folders += EnvList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    for (const QString& data : ApplicationFolders())
        folders << data;
    return folders;
}

// The value of Key in group Group of a desktop-style file, general escapes
// (\s \n \t \r \\) undone; empty when absent.
QString DesktopValue(const QString& Path, const QString& Group, const QString& Key)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + Group + QLatin1Char(']');
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq <= 0 || line.left(eq).trimmed() != Key)
            continue;
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != QLatin1Char('\\') || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const QChar c = raw[++i];
            value += c == QLatin1Char('s')   ? QChar(' ')
                     : c == QLatin1Char('n') ? QChar('\n')
                     : c == QLatin1Char('t') ? QChar('\t')
                     : c == QLatin1Char('r') ? QChar('\r')
                                             : c;
        }
        return value;
    }
    return {};
}

// Exec of the desktop's default application for http, or empty.
QString DefaultBrowserExec()
{
    QStringList desktops;
    for (const QString& d : EnvList("XDG_CURRENT_DESKTOP", {}))
        desktops << d.toLower() + QStringLiteral("-mimeapps.list");
    desktops << QStringLiteral("mimeapps.list");
    for (const QString& folder : MimeAppsFolders()) {
        for (const QString& name : desktops) {
            const QString ids =
                DesktopValue(folder + QLatin1Char('/') + name, QStringLiteral("Default Applications"),
                             QStringLiteral("x-scheme-handler/http"));
            for (const QString& id : ids.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                for (const QString& apps : ApplicationFolders()) {
                    const QString entry = apps + QLatin1Char('/') + id.trimmed();
                    if (!QFile::exists(entry))
                        continue;
                    const QString exec =
                        DesktopValue(entry, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
                    if (!exec.isEmpty())
                        return exec;
                }
            }
        }
    }
    return {};
}

// Exec's quoting: blanks separate arguments; inside double quotes a
// backslash takes the next character as it is.
QStringList SplitExec(const QString& Exec)
{
    QStringList args;
    QString current;
    bool started = false, quoted = false;
    for (qsizetype i = 0; i < Exec.size(); ++i) {
        const QChar c = Exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < Exec.size())
                current += Exec[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                current += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (started)
                args << current;
            current.clear();
            started = false;
        } else if (c == QLatin1Char('"')) {
            quoted = started = true;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        args << current;
    return args;
}

bool IsAddressCode(QChar Code)
{
    return Code == QLatin1Char('u') || Code == QLatin1Char('U') || Code == QLatin1Char('f') ||
           Code == QLatin1Char('F');
}

} // namespace

TBrowserAddress BrowserAddress(const QString& Url)
{
    const QString url = Url.trimmed();
    if (url.isEmpty())
        return {true, {}};
    // A scheme is letters, digits, "+", "-" and "." before a colon; a host
    // with a port ("localhost:8080/x") has only digits after its colon.
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d+(?:[/?#]|$))"));
    const QRegularExpressionMatch m = scheme.match(url);
    if (!m.hasMatch())
        return {true, QStringLiteral("http://") + url};
    const QString name = m.captured(1).toLower();
    if (name == QLatin1String("http") || name == QLatin1String("https"))
        return {true, url};
    return {};
}

QStringList ExpandDesktopExec(const QString& Exec, const QString& Address)
{
    QStringList out;
    bool placed = false;
    for (const QString& arg : SplitExec(Exec)) {
        if (arg.size() == 2 && arg[0] == QLatin1Char('%') && IsAddressCode(arg[1])) {
            placed = true;
            if (!Address.isEmpty())
                out << Address;
            continue;
        }
        QString expanded;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] != QLatin1Char('%') || i + 1 == arg.size()) {
                expanded += arg[i];
                continue;
            }
            const QChar code = arg[++i];
            if (code == QLatin1Char('%'))
                expanded += code;
            else if (IsAddressCode(code)) {
                expanded += Address;
                placed = true;
            }
            // Every other field code (icon, name, file location) is dropped.
        }
        if (!expanded.isEmpty())
            out << expanded;
    }
    if (!placed && !Address.isEmpty())
        out << Address;
    return out;
}

QList<QStringList> BrowserCommands(const QString& Address)
{
    QList<QStringList> commands;
    const QString exec = DefaultBrowserExec();
    if (!exec.isEmpty())
        commands << ExpandDesktopExec(exec, Address);
    for (const char* alternative : {"x-www-browser", "sensible-browser"}) {
        QStringList command{QString::fromLatin1(alternative)};
        if (!Address.isEmpty())
            command << Address;
        commands << command;
    }
    // $BROWSER: commands separated by colons; "%s" marks the address.
    for (const QString& entry : EnvList("BROWSER", {})) {
        QStringList command;
        bool placed = false;
        for (QString arg : QProcess::splitCommand(entry)) {
            if (arg.contains(QLatin1String("%s"))) {
                arg.replace(QLatin1String("%s"), Address);
                placed = true;
            }
            if (!arg.isEmpty())
                command << arg;
        }
        if (!placed && !Address.isEmpty())
            command << Address;
        if (!command.isEmpty())
            commands << command;
    }
    return commands;
}
