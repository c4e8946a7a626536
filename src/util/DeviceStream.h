#pragma once
// Lets the cipher read and write Qt devices (files, save files, buffers).
#include "crypto/ByteStream.h"

class QIODevice;

class TDeviceStream : public TByteStream
{
public:
    explicit TDeviceStream(QIODevice& ADevice) : Device(ADevice) {}
    std::ptrdiff_t Read(std::uint8_t* Dest, std::size_t Count) override;
    bool Write(const std::uint8_t* Data, std::size_t Count) override;

private:
    QIODevice& Device;
};
