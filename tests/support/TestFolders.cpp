#include "TestFolders.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace tftest
{

TDataFolder::TDataFolder()
{
    EXPECT_TRUE(Dir.isValid());
}

QString TDataFolder::File(const QString& name) const
{
    return Dir.filePath(name);
}

void TDataFolder::Write(const QString& name, const QByteArray& bytes) const
{
    QFile f(File(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray TDataFolder::Read(const QString& name) const
{
    QFile f(File(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TDataFolder::Exists(const QString& name) const
{
    return QFile::exists(File(name));
}

QStringList TDataFolder::Entries() const
{
    return QDir(Dir.path())
        .entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QString SourceDir()
{
    const QByteArray env = qgetenv("TF_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(TF_SOURCE_DIR_DEFAULT) : QString::fromLocal8Bit(env);
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace tftest
