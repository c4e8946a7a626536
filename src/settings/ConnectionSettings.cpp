#include "ConnectionSettings.h"

#include "util/AtomicWrite.h"
#include "util/IniFile.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// Keys in the order they are written, which is the order a new file shows.
const char* const KeySiteUrl = "swebserver";
const char* const KeyDbHost = "shostname";
const char* const KeyDbName = "sdatabase";
const char* const KeyDbUser = "susername";
const char* const KeyDbPassword = "spassword";

QString Key(const char* Name)
{
    return QString::fromLatin1(Name);
}

// Backslash, double quote and dollar are the only characters that mean
// something inside a PHP double-quoted string once every backslash is doubled:
// no escape sequence, variable or "{$" expression can survive.
QString PhpDoubleQuoted(const QString& Value)
{
    QString out;
    out.reserve(Value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : Value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"') || c == QLatin1Char('$'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

QByteArray PhpAssignment(const char* Variable, const QString& Value)
{
    return "  $" + QByteArray(Variable) + '=' + PhpDoubleQuoted(Value).toLocal8Bit() + ";\r\n";
}

const QString FolderInTheWay = QStringLiteral("a directory of that name is in the way");

QString Shown(const QString& Path)
{
    return QDir::toNativeSeparators(Path);
}

TSaveOutcome SettingsFileFailure(const QString& Path, const QString& Reason)
{
    return {false, QStringLiteral("Could not save the settings to \"%1\": %2.\n"
                                  "config.php was not written. The new settings stay in use until the "
                                  "program is closed.")
                       .arg(Shown(Path), Reason)};
}

} // namespace

TConnectionSettings LoadConnectionSettingsFrom(const QString& DataDir)
{
    TIniFile ini;
    QString error;
    // An unreadable file is treated like a missing one: the program starts
    // with empty settings and the operator enters them again.
    if (!ini.LoadFile(QDir(DataDir).filePath(SettingsFileName), error))
        return {};
    TConnectionSettings s;
    s.SiteUrl = ini.ReadString(SettingsSection, Key(KeySiteUrl));
    s.DbHost = ini.ReadString(SettingsSection, Key(KeyDbHost));
    s.DbName = ini.ReadString(SettingsSection, Key(KeyDbName));
    s.DbUser = ini.ReadString(SettingsSection, Key(KeyDbUser));
    s.DbPassword = ini.ReadString(SettingsSection, Key(KeyDbPassword));
    return s;
}

QByteArray ConfigPhpText(const TConnectionSettings& Settings)
{
    QByteArray text = "<?php\r\n";
    text += PhpAssignment("hostname", Settings.DbHost);
    text += PhpAssignment("database", Settings.DbName);
    text += PhpAssignment("username", Settings.DbUser);
    text += PhpAssignment("password", Settings.DbPassword);
    text += "?>\r\n";
    return text;
}

TSaveOutcome SaveConnectionSettingsTo(const QString& DataDir, const TConnectionSettings& Settings)
{
    const QDir dir(DataDir);
    const QString iniPath = dir.filePath(SettingsFileName);
    QString error;

    if (QFileInfo(iniPath).isDir())
        return SettingsFileFailure(iniPath, FolderInTheWay);

    // The file may hold more than our five keys; a file we cannot read is
    // not replaced, or whatever else it held would be lost.
    TIniFile ini;
    if (!ini.LoadFile(iniPath, error))
        return SettingsFileFailure(iniPath,
                                   QStringLiteral("the existing file cannot be read (%1)").arg(error));

    const bool stored = ini.WriteString(SettingsSection, Key(KeySiteUrl), Settings.SiteUrl) &&
                        ini.WriteString(SettingsSection, Key(KeyDbHost), Settings.DbHost) &&
                        ini.WriteString(SettingsSection, Key(KeyDbName), Settings.DbName) &&
                        ini.WriteString(SettingsSection, Key(KeyDbUser), Settings.DbUser) &&
                        ini.WriteString(SettingsSection, Key(KeyDbPassword), Settings.DbPassword);
    if (!stored)
        return SettingsFileFailure(iniPath, QStringLiteral("a value holds a line break"));
    // Both files hold the database password.
    if (!ini.SaveFile(iniPath, error, TFileAccess::OwnerOnly))
        return SettingsFileFailure(iniPath, error);

    const QString phpPath = dir.filePath(ConfigPhpFileName);
    bool written = false;
    if (QFileInfo(phpPath).isDir())
        error = FolderInTheWay;
    else
        written = WriteFileAtomically(phpPath, ConfigPhpText(Settings), error, TFileAccess::OwnerOnly);
    if (!written)
        return {false, QStringLiteral("Could not write \"%1\": %2.\n"
                                      "The settings themselves were saved to %3.")
                           .arg(Shown(phpPath), error, SettingsFileName)};
    return {true, {}};
}
