#include "util/FileCrypt.h"

#include "crypto/Encryption.h"
#include "util/AtomicWrite.h"
#include "util/DeviceStream.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSaveFile>

QByteArray FixedFilePassword()
{
    return QByteArrayLiteral("plokmijnuh");
}

namespace
{

std::string PasswordText(const QByteArray& Password)
{
    return std::string(Password.constData(), static_cast<std::size_t>(Password.size()));
}

bool Fail(QString* Error, const QString& Reason)
{
    if (Error != nullptr)
        *Error = Reason;
    return false;
}

QString Shown(const QString& Path)
{
    return QDir::toNativeSeparators(Path);
}

bool PasswordFits(const QByteArray& Password, QString* Error)
{
    if (Password.size() <= static_cast<qsizetype>(StreamMaxPassword))
        return true;
    return Fail(Error, QStringLiteral("The password is longer than %1 bytes.").arg(StreamMaxPassword));
}

bool OpenSource(QFile& File, QString* Error)
{
    if (File.open(QIODevice::ReadOnly))
        return true;
    return Fail(Error, QStringLiteral("Cannot open %1: %2").arg(Shown(File.fileName()), File.errorString()));
}

bool OpenDest(QSaveFile& File, QString* Error)
{
    if (File.open(QIODevice::WriteOnly))
        return true;
    return Fail(Error,
                QStringLiteral("Cannot create %1: %2").arg(Shown(File.fileName()), File.errorString()));
}

bool Commit(QSaveFile& File, QString* Error)
{
    if (File.commit())
        return true;
    return Fail(Error, QStringLiteral("Cannot write %1: %2").arg(Shown(File.fileName()), File.errorString()));
}

TDecryptOutcome Classify(TStreamOutcome Outcome)
{
    switch (Outcome) {
    case TStreamOutcome::Authentic:
        return TDecryptOutcome::Authentic;
    case TStreamOutcome::Damaged:
        return TDecryptOutcome::Damaged;
    case TStreamOutcome::Refused:
    case TStreamOutcome::WriteFailed:
        break;
    }
    return TDecryptOutcome::Unreadable;
}

QString Describe(TStreamOutcome Outcome, const QString& Path)
{
    if (Outcome == TStreamOutcome::Damaged)
        return QStringLiteral("%1 is damaged: its authentication code does not match.").arg(Shown(Path));
    return QStringLiteral("%1 cannot be decrypted: wrong password or not an encrypted file.")
        .arg(Shown(Path));
}

// Deciphers Source from its start into Dest (none: only check it).
TStreamOutcome DecryptDevice(QIODevice& Source, QIODevice* Dest, const QByteArray& Password)
{
    TEncryption cipher(PasswordText(Password), FileCryptBufferSize);
    TDeviceStream in(Source);
    if (Dest == nullptr)
        return cipher.DecryptStreamOutcome(in, nullptr, Source.size());
    TDeviceStream out(*Dest);
    return cipher.DecryptStreamOutcome(in, &out, Source.size());
}

bool EncryptDevice(QIODevice& Source, QIODevice& Dest, const QByteArray& Password)
{
    TEncryption cipher(PasswordText(Password), FileCryptBufferSize);
    TDeviceStream in(Source), out(Dest);
    return cipher.EncryptStream(in, out);
}

bool EncryptDeviceToFile(QIODevice& Source, const QString& Dest, QString* Error, const QByteArray& Password)
{
    QSaveFile dest(Dest);
    if (!OpenDest(dest, Error))
        return false;
    if (!EncryptDevice(Source, dest, Password)) {
        dest.cancelWriting();
        return Fail(Error, QStringLiteral("Cannot encrypt into %1: %2").arg(Shown(Dest), dest.errorString()));
    }
    return Commit(dest, Error);
}

} // namespace

bool EncryptFileTo(const QString& Source, const QString& Dest, QString* Error, const QByteArray& Password)
{
    if (!PasswordFits(Password, Error))
        return false;
    QFile source(Source);
    if (!OpenSource(source, Error))
        return false;
    return EncryptDeviceToFile(source, Dest, Error, Password);
}

bool EncryptBytesToFile(const QByteArray& Plain, const QString& Dest, QString* Error,
                        const QByteArray& Password)
{
    if (!PasswordFits(Password, Error))
        return false;
    QBuffer source;
    source.setData(Plain);
    source.open(QIODevice::ReadOnly);
    return EncryptDeviceToFile(source, Dest, Error, Password);
}

bool DecryptFileTo(const QString& Source, const QString& Dest, QString* Error, const QByteArray& Password)
{
    QFile source(Source);
    if (!OpenSource(source, Error))
        return false;
    // First only check the file, so that no unauthenticated plaintext is
    // ever written, not even into the save file's temporary.
    const TStreamOutcome check = DecryptDevice(source, nullptr, Password);
    if (check != TStreamOutcome::Authentic)
        return Fail(Error, Describe(check, Source));
    if (!source.seek(0))
        return Fail(Error, QStringLiteral("Cannot read %1: %2").arg(Shown(Source), source.errorString()));

    // The plain text is the brander's: kept from other users of the machine.
    QSaveFile dest(Dest);
    if (!OpenDest(dest, Error))
        return false;
    if (!RestrictToOwner(dest)) {
        dest.cancelWriting();
        return Fail(Error, QStringLiteral("Cannot protect %1: %2").arg(Shown(Dest), dest.errorString()));
    }
    const TStreamOutcome written = DecryptDevice(source, &dest, Password);
    if (written != TStreamOutcome::Authentic) {
        // The file changed between the two passes, or the disk refused bytes.
        dest.cancelWriting();
        if (written == TStreamOutcome::WriteFailed)
            return Fail(Error, QStringLiteral("Cannot write %1: %2").arg(Shown(Dest), dest.errorString()));
        return Fail(Error, Describe(written, Source));
    }
    return Commit(dest, Error);
}

namespace
{
// Decrypts Source into Plain; what an unreadable source yields is dropped.
TDecryptOutcome DecryptDeviceToMemory(QIODevice& Source, QByteArray& Plain, const QByteArray& Password)
{
    QBuffer dest(&Plain);
    dest.open(QIODevice::WriteOnly);
    const TDecryptOutcome outcome = Classify(DecryptDevice(Source, &dest, Password));
    dest.close();
    if (outcome == TDecryptOutcome::Unreadable)
        Plain.clear();
    return outcome;
}
} // namespace

TDecryptOutcome DecryptFileToMemory(const QString& Source, QByteArray& Plain, const QByteArray& Password)
{
    Plain.clear();
    QFile source(Source);
    if (!source.open(QIODevice::ReadOnly))
        return TDecryptOutcome::Unreadable;
    return DecryptDeviceToMemory(source, Plain, Password);
}

QByteArray EncryptBytes(const QByteArray& Plain, const QByteArray& Password)
{
    if (!PasswordFits(Password, nullptr))
        return {};
    QBuffer source;
    source.setData(Plain);
    source.open(QIODevice::ReadOnly);
    QByteArray cipher;
    QBuffer dest(&cipher);
    dest.open(QIODevice::WriteOnly);
    if (!EncryptDevice(source, dest, Password))
        return {};
    dest.close();
    return cipher;
}

TDecryptOutcome DecryptBytes(const QByteArray& Cipher, QByteArray& Plain, const QByteArray& Password)
{
    Plain.clear();
    QBuffer source;
    source.setData(Cipher);
    source.open(QIODevice::ReadOnly);
    return DecryptDeviceToMemory(source, Plain, Password);
}
