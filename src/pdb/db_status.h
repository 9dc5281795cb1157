#pragma once
// Status numbers of the audio database: 0 is success; the others are the Palm OS memory- and
// data-manager error numbers, plus 1 for a database file that could not be written.

#include <cstdint>

namespace zelvio {

/// A database operation's outcome; 0 is success.
using DbStatus = std::uint16_t;
/// Success.
inline constexpr DbStatus kDbOk = 0;
/// The file cannot be created or written whole.
inline constexpr DbStatus kDbCannotCreate = 1;
/// Not enough memory to make or enlarge a record.
inline constexpr DbStatus kDbMemoryFull = 0x0102;
/// A null destination or source.
inline constexpr DbStatus kDbNullPointer = 0x0103;
/// Record index 200 or more (or a position past the record).
inline constexpr DbStatus kDbIndexOutOfRange = 0x0202;
/// No record in this slot.
inline constexpr DbStatus kDbRecordNotFound = 0x020A;

/// A short English text for a status, e.g. "record index out of range"; "unknown status"
/// otherwise.
[[nodiscard]] const char* dbStatusText(DbStatus status);

}  // namespace zelvio
