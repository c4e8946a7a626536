#pragma once
// AES (Rijndael with 128-bit blocks) for 128-, 192- and 256-bit keys, in both
// directions. The stream format only ever encrypts (counter mode); the
// inverse cipher is here for completeness and for testing.
#include <cstdint>

constexpr std::uint32_t AesBlockSize = 16;
constexpr std::uint32_t AesMarkEncrypt = 1;
constexpr std::uint32_t AesMarkDecrypt = 2;

// One key schedule. RoundKeys holds the schedule's words big-endian (key
// byte 0 is the top byte of word 0); fifteen round keys use 60 of the 64.
// BlockAndDirection is the block length 16 with the low two bits telling what
// the schedule is for; a refused set-up leaves Rounds 0 and no mark, so every
// block operation on the context refuses too.
struct TAesContext {
    std::uint32_t RoundKeys[64];
    std::uint32_t Rounds;
    std::uint32_t BlockAndDirection;
};

// KeyLength is in bytes (16, 24, 32) or in bits (128, 192, 256). 1 on
// success, 0 for any other length.
int AesEncryptKey(const std::uint8_t* Key, int KeyLength, TAesContext& Context);
int AesDecryptKey(const std::uint8_t* Key, int KeyLength, TAesContext& Context);

// 1 on success. 0, with Out untouched, when Context holds no schedule for
// this direction. In and Out may be the same block.
int AesEncryptBlock(const std::uint8_t In[16], std::uint8_t Out[16], const TAesContext& Context);
int AesDecryptBlock(const std::uint8_t In[16], std::uint8_t Out[16], const TAesContext& Context);
