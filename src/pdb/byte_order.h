#pragma once
// Big-endian loads and stores. Every number in a database file, inside records too, is big-endian;
// these helpers build and take apart the bytes with shifts, so they give the same bytes on any
// host.

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

}  // namespace zelvio
