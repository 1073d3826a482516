// The record signatures, sizes, flag bits, methods and extra field ids of
// the ZIP format, for the engine libraries. Header-only; no allocation, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/common/LittleEndian.h"

namespace arkelin::engine::zip::dll {

inline constexpr uint32_t kSigLocal = 0x04034B50;
inline constexpr uint32_t kSigCentral = 0x02014B50;
inline constexpr uint32_t kSigEnd = 0x06054B50;
inline constexpr uint32_t kSigZip64End = 0x06064B50;
inline constexpr uint32_t kSigZip64Locator = 0x07064B50;
inline constexpr uint32_t kSigDescriptor = 0x08074B50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndSize = 56;

// General-purpose flag bits.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagLzmaEos = 0x0002;
inline constexpr uint16_t kFlagDescriptor = 0x0008;
inline constexpr uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr uint16_t kFlagUtf8 = 0x0800;
inline constexpr uint16_t kFlagCentralEncrypted = 0x2000;

// Compression methods.
inline constexpr uint16_t kMethodStore = 0;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;
inline constexpr uint16_t kMethodBzip2 = 12;
inline constexpr uint16_t kMethodLzma = 14;
inline constexpr uint16_t kMethodZstdOld = 20;
inline constexpr uint16_t kMethodZstd = 93;
inline constexpr uint16_t kMethodXz = 95;
inline constexpr uint16_t kMethodPpmd = 98;
inline constexpr uint16_t kMethodAes = 99;

// Extra field ids.
inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraTimestamp = 0x5455;
inline constexpr uint16_t kExtraNtfs = 0x000A;
inline constexpr uint16_t kExtraUnixOld = 0x5855;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;
inline constexpr uint16_t kExtraUnicodeComment = 0x6375;

// Field access is the shared little-endian reader's.
using common::Le16;
using common::Le32;
using common::Le64;

// Name of a compression method for messages ("method 9 (Deflate64)").
const char* MethodName(uint16_t method);

}  // namespace arkelin::engine::zip::dll
