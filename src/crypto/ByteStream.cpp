#include "crypto/ByteStream.h"

#include <algorithm>
#include <cstring>

std::ptrdiff_t TMemoryStream::Read(std::uint8_t* Dest, std::size_t Count)
{
    const std::size_t n = std::min(Count, Bytes.size() - Pos);
    if (n != 0)
        std::memcpy(Dest, Bytes.data() + Pos, n);
    Pos += n;
    return static_cast<std::ptrdiff_t>(n);
}

bool TMemoryStream::Write(const std::uint8_t* Data, std::size_t Count)
{
    if (Count == 0)
        return true;
    if (Bytes.size() - Pos < Count)
        Bytes.resize(Pos + Count);
    std::memcpy(Bytes.data() + Pos, Data, Count);
    Pos += Count;
    return true;
}

TFileStream::TFileStream(const std::string& Path, const char* Mode) : File(std::fopen(Path.c_str(), Mode)) {}

TFileStream::~TFileStream()
{
    Close();
}

bool TFileStream::Close()
{
    if (File == nullptr)
        return true;
    const bool ok = std::fclose(File) == 0;
    File = nullptr;
    return ok;
}

std::ptrdiff_t TFileStream::Read(std::uint8_t* Dest, std::size_t Count)
{
    if (File == nullptr)
        return -1;
    // fread loops over short reads itself; fewer bytes mean the end or an error.
    const std::size_t n = std::fread(Dest, 1, Count, File);
    if (n < Count && std::ferror(File))
        return -1;
    return static_cast<std::ptrdiff_t>(n);
}

bool TFileStream::Write(const std::uint8_t* Data, std::size_t Count)
{
    if (File == nullptr)
        return false;
    return std::fwrite(Data, 1, Count, File) == Count;
}
