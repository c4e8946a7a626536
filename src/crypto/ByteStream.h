#pragma once
// The byte streams that the cipher reads and writes. Read delivers fewer
// bytes than asked only at the end of the data; Write writes everything or
// fails. Neither throws.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

class TByteStream
{
public:
    virtual ~TByteStream() = default;
    // Bytes delivered (0 at the end), or -1 on a read error.
    virtual std::ptrdiff_t Read(std::uint8_t* Dest, std::size_t Count) = 0;
    virtual bool Write(const std::uint8_t* Data, std::size_t Count) = 0;
};

// A growable byte array with one position for reading and writing.
class TMemoryStream : public TByteStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> Initial) : Bytes(std::move(Initial)) {}

    std::ptrdiff_t Read(std::uint8_t* Dest, std::size_t Count) override;
    bool Write(const std::uint8_t* Data, std::size_t Count) override;

    const std::vector<std::uint8_t>& Data() const { return Bytes; }
    std::size_t Position() const { return Pos; }
    void Seek(std::size_t Position) { Pos = Position < Bytes.size() ? Position : Bytes.size(); }

private:
    std::vector<std::uint8_t> Bytes;
    std::size_t Pos = 0;
};

// A file opened with the C library. "rb" for a source, "wb" for a
// destination; IsOpen tells whether the open worked.
class TFileStream : public TByteStream
{
public:
    TFileStream(const std::string& Path, const char* Mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    bool IsOpen() const { return File != nullptr; }
    // Flushes and closes; false when buffered data could not be written.
    bool Close();
    std::ptrdiff_t Read(std::uint8_t* Dest, std::size_t Count) override;
    bool Write(const std::uint8_t* Data, std::size_t Count) override;

private:
    std::FILE* File = nullptr;
};
