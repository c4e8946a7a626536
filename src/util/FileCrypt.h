#pragma once
// Whole files and byte arrays in the program's encrypted format, under the
// program's fixed password unless another is given. Nothing here leaves a
// half-written or unauthenticated file behind: every file is written through
// QSaveFile, and decrypted data reaches the disk only once its authentication
// code has been checked.
#include <QByteArray>
#include <QString>

// The one password the brand file is kept under.
QByteArray FixedFilePassword();

// Bytes per chunk of the file routines.
constexpr int FileCryptBufferSize = 256 * 1024;

enum class TDecryptOutcome {
    Authentic,  // password verifier and authentication code both match
    Damaged,    // the verifier matched, but the code did not or the data is cut short
    Unreadable, // missing file, wrong password, or too short to be encrypted at all
};

// Encrypts Source into Dest (replaced as a whole, or left as it was on
// failure). Error receives a one-line reason on failure.
bool EncryptFileTo(const QString& Source, const QString& Dest, QString* Error = nullptr,
                   const QByteArray& Password = FixedFilePassword());

// Decrypts Source into Dest, but only when it is authentic; otherwise Dest
// is not touched and false is returned with the reason in Error.
bool DecryptFileTo(const QString& Source, const QString& Dest, QString* Error = nullptr,
                   const QByteArray& Password = FixedFilePassword());

// Plain receives the deciphered bytes for Authentic and Damaged (so that a
// damaged file can still be shown), and is empty for Unreadable.
TDecryptOutcome DecryptFileToMemory(const QString& Source, QByteArray& Plain,
                                    const QByteArray& Password = FixedFilePassword());

// Empty only when the password is longer than the format allows (128 bytes).
QByteArray EncryptBytes(const QByteArray& Plain, const QByteArray& Password = FixedFilePassword());
TDecryptOutcome DecryptBytes(const QByteArray& Cipher, QByteArray& Plain,
                             const QByteArray& Password = FixedFilePassword());

// Encrypts Plain into Dest atomically.
bool EncryptBytesToFile(const QByteArray& Plain, const QString& Dest, QString* Error = nullptr,
                        const QByteArray& Password = FixedFilePassword());
