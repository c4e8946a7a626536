#include "LiveUpdate.h"

#include "brand/AppConstants.h"
#include "util/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <charconv>
#include <cmath>

QString EffectiveUpdateBaseURL(const QString& Fixed)
{
    const QString local = qEnvironmentVariable("TALLYFAIR_UPDATE_BASE_URL");
    if (local.isEmpty())
        return Fixed;
    const QUrl url(local, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const QString host = url.host().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    const bool loopback = host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") ||
                          host == QLatin1String("localhost");
    return url.isValid() && web && loopback && url.userInfo().isEmpty() ? local : Fixed;
}

QString UpdateDescriptorURL(const QString& BaseURL)
{
    return BaseURL + UpdateDescriptorName;
}

QString UpdateDescriptorPath(const QString& DataDir)
{
    return QDir(DataDir).filePath(UpdateDescriptorName);
}

TUpdateDescriptor ReadUpdateDescriptor(const QByteArray& IniText)
{
    // Descriptors saved by some editors start with a UTF-8 byte-order mark,
    // which would otherwise hide the first section's name.
    QByteArray text = IniText;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const TIniFile ini = TIniFile::FromBytes(text);
    const QString section = QStringLiteral("APPLICATION");
    // The profile reader gives a quoted value exactly, blanks and all, as
    // settings need; a name or version made of blanks names nothing, so
    // both are taken without them.
    return {ini.ReadString(section, QStringLiteral("Name")).trimmed(),
            ini.ReadString(section, QStringLiteral("Version")).trimmed()};
}

float VersionValue(const QString& Version)
{
    // from_chars ignores the C and Qt locales alike: "." is always the mark.
    const QByteArray text = Version.trimmed().toLatin1();
    if (text.isEmpty() || text.startsWith('+') || text.startsWith('-'))
        return 0.0f;
    float value = 0.0f;
    const char* end = text.constData() + text.size();
    const auto [ptr, ec] = std::from_chars(text.constData(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        return 0.0f;
    return value;
}

bool IsUpdateAvailable(const QString& DescriptorVersion, const QString& OwnVersion)
{
    // Both at the same precision, so a descriptor that names our own
    // version is never taken for a newer one.
    return VersionValue(OwnVersion) < VersionValue(DescriptorVersion);
}

QString NewUpdateQuestion(const QString& DescriptorVersion)
{
    return QStringLiteral("There is a new update: (version ") + DescriptorVersion +
           QStringLiteral(") available for your application!. Do you want download this update now?");
}

QString UpdaterPath(const QString& DataDir)
{
    return QDir(DataDir).filePath(UpdaterProgramName);
}

QStringList UpdaterArguments(const QString& BaseURL, const QString& Version)
{
    return {BaseURL, Version, QStringLiteral("A")};
}

bool StartUpdater(const QString& DataDir, const QString& BaseURL, const QString& Version)
{
    const QString program = UpdaterPath(DataDir);
    if (!QFileInfo(program).isFile())
        return false;
    return QProcess::startDetached(program, UpdaterArguments(BaseURL, Version));
}
