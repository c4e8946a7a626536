#pragma once
// Whole-file writes that never leave a half-written file behind.
#include <QByteArray>
#include <QString>

class QFileDevice;

// Who may read the file written. Files that hold a password, or a brand's
// plain text, are the owner's alone, also when they replace a file that
// others could read.
enum class TFileAccess { AsBefore, OwnerOnly };

// Writes Bytes to Path through a temporary file in the same folder that then
// replaces Path in one step: afterwards Path holds either all of Bytes or
// exactly what it held before. False with the reason in Error.
bool WriteFileAtomically(const QString& Path, const QByteArray& Bytes, QString& Error,
                         TFileAccess Access = TFileAccess::AsBefore);

// Makes an open file (a QSaveFile's temporary before anything is written to
// it) readable and writable by its owner only.
bool RestrictToOwner(QFileDevice& File);
