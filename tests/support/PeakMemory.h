#pragma once
// The peak resident memory of a process, as the kernel counts it (VmHWM),
// for the tests that hold parsers and requests to their memory bounds.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace tftest
{

// VmHWM of the process in bytes; -1 when it cannot be read.
inline qint64 PeakResidentBytes(qint64 Pid = 0)
{
    QFile status(Pid > 0 ? QStringLiteral("/proc/%1/status").arg(Pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Starts the count of this process's peak afresh from what it holds now.
inline bool ResetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The sanitizers keep freed memory aside, so peaks under them say nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool PeaksAreMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool PeaksAreMeaningful = false;
#else
constexpr bool PeaksAreMeaningful = true;
#endif
#else
constexpr bool PeaksAreMeaningful = true;
#endif

// How far the process's peak rose above its holding while Run ran.
template <typename TRun> qint64 PeakGrowth(TRun&& Run)
{
    ResetPeakResident();
    const qint64 before = PeakResidentBytes();
    Run();
    return PeakResidentBytes() - before;
}

} // namespace tftest
