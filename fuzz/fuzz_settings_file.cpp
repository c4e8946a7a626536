// hsettings.dat as the settings reader sees it, and rewriting one key.
#include "FuzzInput.h"
#include "settings/ConnectionSettings.h"
#include "util/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray bytes = FuzzBytes(Data, Size);
    TIniFile ini = TIniFile::FromBytes(bytes);
    // Reading keeps the file byte for byte.
    FUZZ_CHECK(ini.ToBytes() == bytes);

    const char* const keys[] = {"swebserver", "shostname", "sdatabase", "susername", "spassword"};
    for (const char* key : keys) {
        // The default comes back only for a missing key (a stored value may
        // equal either default, not both).
        const QString a = ini.ReadString(SettingsSection, QLatin1String(key), QStringLiteral("\x01"));
        const QString b = ini.ReadString(SettingsSection, QLatin1String(key), QStringLiteral("\x02"));
        if (ini.KeyExists(SettingsSection, QLatin1String(key)))
            FUZZ_CHECK(a == b);
        else
            FUZZ_CHECK(a == QStringLiteral("\x01") && b == QStringLiteral("\x02"));
    }

    // A value written is the value read back, and the other keys keep theirs.
    const QString before = ini.ReadString(SettingsSection, QStringLiteral("shostname"));
    const QString value = QStringLiteral("db.example.net");
    FUZZ_CHECK(ini.WriteString(SettingsSection, QStringLiteral("spassword"), value));
    TIniFile again = TIniFile::FromBytes(ini.ToBytes());
    FUZZ_CHECK(again.ReadString(SettingsSection, QStringLiteral("spassword")) == value);
    FUZZ_CHECK(again.ReadString(SettingsSection, QStringLiteral("shostname")) == before);

    // Any one-line value comes back whole: blanks at its ends and quotes of
    // its own included.
    QString odd = QString::fromLocal8Bit(bytes.left(24));
    odd.remove(QLatin1Char('\r'));
    odd.remove(QLatin1Char('\n'));
    FUZZ_CHECK(again.WriteString(SettingsSection, QStringLiteral("susername"), odd));
    FUZZ_CHECK(
        TIniFile::FromBytes(again.ToBytes()).ReadString(SettingsSection, QStringLiteral("susername")) == odd);
    return 0;
}
