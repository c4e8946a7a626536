#pragma once
// The five settings that tie the program to the operator's site, their file
// hsettings.dat, and the config.php that the site's scripts include to reach
// their database. Both files lie in the program's data folder.
#include <QByteArray>
#include <QString>

inline const QString SettingsFileName = QStringLiteral("hsettings.dat");
inline const QString ConfigPhpFileName = QStringLiteral("config.php");
inline const QString SettingsSection = QStringLiteral("Settings");

struct TConnectionSettings {
    QString SiteUrl;    // base URL of the site; the tracking script is SiteUrl + "/actions.php"
    QString DbHost;     // MySQL host name
    QString DbName;     // database name
    QString DbUser;     // database user
    QString DbPassword; // database user's password, kept in plain text

    bool operator==(const TConnectionSettings&) const = default;
};

// The settings in hsettings.dat in DataDir. A missing or unreadable file,
// and any missing key, read as empty strings.
TConnectionSettings LoadConnectionSettingsFrom(const QString& DataDir);

// The six CR LF lines of config.php. Each value is escaped for a PHP
// double-quoted string, so the site sees exactly what was typed.
QByteArray ConfigPhpText(const TConnectionSettings& Settings);

struct TSaveOutcome {
    bool Ok = false;
    QString Message; // on failure: a warning for the operator naming the file and the reason
};

// Writes hsettings.dat (keeping everything else in it) and then config.php,
// each atomically. When hsettings.dat cannot be written, config.php is left
// as it was.
TSaveOutcome SaveConnectionSettingsTo(const QString& DataDir, const TConnectionSettings& Settings);
