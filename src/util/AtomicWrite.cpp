#include "AtomicWrite.h"

#include <QSaveFile>

bool WriteFileAtomically(const QString& Path, const QByteArray& Bytes, QString& Error)
{
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly)) {
        Error = file.errorString();
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
