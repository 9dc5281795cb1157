#pragma once
// Loads and stores of fixed-width numbers in a given byte order. Every number in a database file,
// inside records too, is big-endian; WAVE files and the raw sample files are little-endian. These
// helpers build and take apart the bytes with shifts, so they give the same bytes on any host.
// Header-only and usable in constant expressions; every room may include it.

#include <cstdint>

namespace zelvio {

/// The big-endian 16-bit number at bytes[0..1].
[[nodiscard]] constexpr std::uint16_t loadBig16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

/// The big-endian 32-bit number at bytes[0..3].
[[nodiscard]] constexpr std::uint32_t loadBig32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

/// Stores value as two big-endian bytes at bytes[0..1].
constexpr void storeBig16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

/// Stores value as four big-endian bytes at bytes[0..3].
constexpr void storeBig32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

/// The little-endian 16-bit number at bytes[0..1].
[[nodiscard]] constexpr std::uint16_t loadLittle16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

/// The little-endian 32-bit number at bytes[0..3].
[[nodiscard]] constexpr std::uint32_t loadLittle32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

/// The little-endian 64-bit number at bytes[0..7].
[[nodiscard]] constexpr std::uint64_t loadLittle64(const std::uint8_t* bytes) {
    return std::uint64_t{loadLittle32(bytes)} | (std::uint64_t{loadLittle32(bytes + 4)} << 32);
}

/// Stores value as two little-endian bytes at bytes[0..1].
constexpr void storeLittle16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

/// Stores value as four little-endian bytes at bytes[0..3].
constexpr void storeLittle32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value >> 16);
    bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

namespace byte_order_checks {
constexpr std::uint8_t kBytes[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
static_assert(loadBig16(kBytes) == 0x0102 && loadBig32(kBytes) == 0x01020304);
static_assert(loadLittle16(kBytes) == 0x0201 && loadLittle32(kBytes) == 0x04030201);
static_assert(loadLittle64(kBytes) == 0x8807060504030201);
}  // namespace byte_order_checks

}  // namespace zelvio
