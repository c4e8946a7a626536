// Speed of the cipher's pieces: the AES block, SHA-1, the key set-up that
// every brand file pays once, and whole streams through the chunk buffer.
#include "crypto/AesLib.h"
#include "crypto/Encryption.h"
#include "crypto/Sha1.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace
{

std::vector<std::uint8_t> Filled(std::size_t Size)
{
    std::vector<std::uint8_t> data(Size);
    for (std::size_t i = 0; i < Size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return data;
}

void AesBlock(benchmark::State& State)
{
    const auto key = Filled(32);
    TAesContext ctx;
    AesEncryptKey(key.data(), static_cast<int>(State.range(0)), ctx);
    std::uint8_t block[16] = {};
    for (auto _ : State) {
        AesEncryptBlock(block, block, ctx);
        benchmark::DoNotOptimize(block);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * 16);
}
BENCHMARK(AesBlock)->Arg(16)->Arg(24)->Arg(32);

void AesDecryptBlockBench(benchmark::State& State)
{
    const auto key = Filled(32);
    TAesContext ctx;
    AesDecryptKey(key.data(), 16, ctx);
    std::uint8_t block[16] = {};
    for (auto _ : State) {
        AesDecryptBlock(block, block, ctx);
        benchmark::DoNotOptimize(block);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) * 16);
}
BENCHMARK(AesDecryptBlockBench);

void Sha1Throughput(benchmark::State& State)
{
    const auto data = Filled(64 * 1024);
    std::uint8_t digest[20];
    for (auto _ : State) {
        Sha1(data.data(), data.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}
BENCHMARK(Sha1Throughput);

// 1000 PBKDF2 iterations per 20 bytes of key material: the cost of opening
// one encrypted file.
void KeySetUp(benchmark::State& State)
{
    const auto salt = Filled(16);
    const std::uint8_t password[] = "plokmijnuh";
    TStreamCipherState cipher;
    std::uint8_t verifier[2];
    for (auto _ : State) {
        StreamCipherInit(static_cast<int>(State.range(0)), password, 10, salt.data(), verifier, cipher);
        benchmark::DoNotOptimize(verifier);
    }
}
BENCHMARK(KeySetUp)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

// Counter mode plus HMAC on data already keyed: the per-byte cost.
void StreamData(benchmark::State& State)
{
    const auto salt = Filled(8);
    const std::uint8_t password[] = "plokmijnuh";
    TStreamCipherState cipher;
    std::uint8_t verifier[2];
    StreamCipherInit(1, password, 10, salt.data(), verifier, cipher);
    auto data = Filled(static_cast<std::size_t>(State.range(0)));
    for (auto _ : State) {
        StreamCipherEncrypt(data.data(), data.size(), cipher);
        benchmark::ClobberMemory();
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * data.size()));
}
BENCHMARK(StreamData)->Arg(1)->Arg(16)->Arg(4096)->Arg(256 * 1024);

// A whole file-sized stream, header and trailer included, as the file
// routines run it: one 256 KiB buffer, memory use flat in the data size.
void EncryptWholeStream(benchmark::State& State)
{
    const auto plain = Filled(static_cast<std::size_t>(State.range(0)));
    TEncryption cipher("plokmijnuh", 256 * 1024);
    for (auto _ : State) {
        TMemoryStream source(plain), dest;
        cipher.EncryptStream(source, dest);
        benchmark::DoNotOptimize(dest.Data().data());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * plain.size()));
}
BENCHMARK(EncryptWholeStream)->Arg(4 * 1024)->Arg(4 * 1024 * 1024)->Unit(benchmark::kMillisecond);

void DecryptWholeStream(benchmark::State& State)
{
    TEncryption cipher("plokmijnuh", 256 * 1024);
    TMemoryStream source(Filled(static_cast<std::size_t>(State.range(0)))), encrypted;
    cipher.EncryptStream(source, encrypted);
    for (auto _ : State) {
        TMemoryStream in(encrypted.Data()), out;
        benchmark::DoNotOptimize(
            cipher.DecryptStream(in, &out, static_cast<std::int64_t>(encrypted.Data().size())));
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * State.range(0)));
}
BENCHMARK(DecryptWholeStream)->Arg(4 * 1024)->Arg(4 * 1024 * 1024)->Unit(benchmark::kMillisecond);

} // namespace
