#include "util/DeviceStream.h"

#include <QIODevice>

std::ptrdiff_t TDeviceStream::Read(std::uint8_t* Dest, std::size_t Count)
{
    // The cipher takes a short read as the end of the data, so keep reading
    // until the device has nothing more to give.
    std::size_t done = 0;
    while (done < Count) {
        const qint64 n = Device.read(reinterpret_cast<char*>(Dest) + done, static_cast<qint64>(Count - done));
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::ptrdiff_t>(done);
}

bool TDeviceStream::Write(const std::uint8_t* Data, std::size_t Count)
{
    return Count == 0 || Device.write(reinterpret_cast<const char*>(Data), static_cast<qint64>(Count)) ==
                             static_cast<qint64>(Count);
}
