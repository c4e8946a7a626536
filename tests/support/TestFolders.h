#pragma once
// Temporary data folders and small file helpers shared by the tests.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace tftest
{

// A fresh, empty folder that plays the part of the executable's folder.
class TDataFolder
{
public:
    TDataFolder();
    QString Path() const { return Dir.path(); }
    QString File(const QString& name) const;
    void Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;
    bool Exists(const QString& name) const;
    QStringList Entries() const; // file names, sorted

private:
    QTemporaryDir Dir;
};

// Folder of the source tree (examples, server script, fixtures).
QString SourceDir();

// Runs the event loop until pred() is true or timeoutMs passes.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

} // namespace tftest
