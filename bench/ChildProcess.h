#pragma once
// What the benchmarks that measure in fresh child processes share: the
// child's peak memory, running one child and reading its one line of
// numbers, and the median of the runs.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace bench
{

// A memory figure of /proc/self/status in KiB, -1 if unknown.
inline long StatusKiB(const QByteArray& Field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(Field + ':'))
            return line.mid(Field.size() + 1).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The process's peak resident memory (VmHWM) in KiB, -1 if unknown.
inline long PeakKiB()
{
    return StatusKiB("VmHWM");
}

// The process's resident memory now (VmRSS) in KiB, -1 if unknown.
inline long CurrentKiB()
{
    return StatusKiB("VmRSS");
}

// Runs Self with Arguments on the offscreen platform and returns the
// blank-separated words of what it printed; empty when the child failed,
// timed out or printed other than Words words.
inline QList<QByteArray> RunChild(const QString& Self, const QStringList& Arguments, int Words, int TimeoutMs)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(Self, Arguments);
    if (!child.waitForFinished(TimeoutMs) || child.exitCode() != 0)
        return {};
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    return words.size() == Words ? words : QList<QByteArray>{};
}

template <typename T> T Median(std::vector<T> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

} // namespace bench
