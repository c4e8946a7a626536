#pragma once
// The live-update check: the descriptor on the maker's update service, the
// decision whether it offers a newer version, the texts shown around it and
// the start of the external updater. Fetching the descriptor is the HTTP
// client's job.
#include <QByteArray>
#include <QString>
#include <QStringList>

// The update base address the program uses: Fixed, unless the environment
// variable TALLYFAIR_UPDATE_BASE_URL names an http or https address on this
// machine's loopback (127.0.0.1, ::1, localhost), which tests and the demo
// serve. Any other value is ignored.
QString EffectiveUpdateBaseURL(const QString& Fixed);

// BaseURL + "mainappupdate.inf"; BaseURL ends in "/".
QString UpdateDescriptorURL(const QString& BaseURL);

// The largest descriptor fetched: a few lines; a larger one fails the check
// like any failed download.
constexpr qint64 UpdateDescriptorMaxSize = qint64(64) * 1024;

// Where the descriptor is stored: the executable's folder.
QString UpdateDescriptorPath(const QString& DataDir);

// Section APPLICATION of the descriptor, values as written without the
// blanks around them, even inside quotes.
struct TUpdateDescriptor {
    QString Name, Version;
};
TUpdateDescriptor ReadUpdateDescriptor(const QByteArray& IniText);

// A version number with "." as the decimal mark, whatever the locale; 0
// when the text is empty or not a number.
float VersionValue(const QString& Version);

// Whether DescriptorVersion is a higher number than OwnVersion.
bool IsUpdateAvailable(const QString& DescriptorVersion, const QString& OwnVersion);

// The texts of the check.
QString NewUpdateQuestion(const QString& DescriptorVersion);
inline const QString UpdaterMissingMessage =
    QStringLiteral("The updater module is missing. Please reinstall again the current version!");
inline const QString CloseForUpdateQuestion =
    QStringLiteral("To update your software the application will close to"
                   "\n\r"
                   "replace some files. Do you want to update now?");
inline const QString NoUpdatesMessage = QStringLiteral("There's no new updates for this application!");

// The updater beside the executable, and what it is given: the update
// base address, the current version and "A".
QString UpdaterPath(const QString& DataDir);
QStringList UpdaterArguments(const QString& BaseURL, const QString& Version);

// Starts the updater detached, not waiting for it. False when it is missing
// or could not be started.
bool StartUpdater(const QString& DataDir, const QString& BaseURL, const QString& Version);
