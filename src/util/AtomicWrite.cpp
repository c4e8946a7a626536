#include "AtomicWrite.h"

#include <QSaveFile>

bool RestrictToOwner(QFileDevice& File)
{
    return File.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool WriteFileAtomically(const QString& Path, const QByteArray& Bytes, QString& Error, TFileAccess Access)
{
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly)) {
        Error = file.errorString();
        return false;
    }
    // Before the first byte: the secret is never in a file others can read.
    if (Access == TFileAccess::OwnerOnly && !RestrictToOwner(file)) {
        Error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (file.write(Bytes) != Bytes.size()) {
        Error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        Error = file.errorString();
        return false;
    }
    return true;
}
