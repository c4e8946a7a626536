#include "LiveUpdate.h"

#include "app/AppConstants.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <charconv>
#include <cmath>

QString UpdateDescriptorURL(const QString& BaseURL)
{
    return BaseURL + UpdateDescriptorName;
}

QString UpdateDescriptorPath(const QString& DataDir)
{
    return QDir(DataDir).filePath(UpdateDescriptorName);
}

namespace
{

QByteArray Blankless(const QByteArray& Text)
{
    return Text.trimmed();
}

bool SameNameNoCase(const QByteArray& A, const QByteArray& B)
{
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

// A profile-file lookup: the first section with that name (letter case
// ignored), the first key in it; blanks around names and values dropped.
// Lines without "=" inside a section are skipped.
bool ReadIniValue(const QByteArray& IniText, const QByteArray& Section, const QByteArray& Key,
                  QByteArray& Value)
{
    QByteArray text = IniText;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    bool inSection = false;
    bool seenSection = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = Blankless(raw);
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QByteArray name = Blankless(line.mid(1, close < 0 ? -1 : close - 1));
            if (inSection)
                return false; // only the first section of that name counts
            inSection = !seenSection && SameNameNoCase(name, Section);
            seenSection = seenSection || inSection;
            continue;
        }
        if (!inSection || line.startsWith(';'))
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        if (SameNameNoCase(Blankless(line.left(eq)), Key)) {
            Value = Blankless(line.mid(eq + 1));
            return true;
        }
    }
    return false;
}

QString IniString(const QByteArray& IniText, const QByteArray& Section, const QByteArray& Key)
{
    QByteArray value;
    if (!ReadIniValue(IniText, Section, Key, value))
        return {};
    // Trimmed again once decoded: the decoder drops a byte-order mark that
    // may have stood before a blank.
    return QString::fromLocal8Bit(value).trimmed();
}

} // namespace

TUpdateDescriptor ReadUpdateDescriptor(const QByteArray& IniText)
{
    return {IniString(IniText, "APPLICATION", "Name"), IniString(IniText, "APPLICATION", "Version")};
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

QString UpdaterParameters(const QString& BaseURL, const QString& Version)
{
    return BaseURL + QLatin1Char(' ') + Version + QStringLiteral(" A");
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
