#pragma once
// Status numbers of the audio database: 0 is success; the others are the Palm OS memory- and
// data-manager error numbers, plus 1 for a database file that could not be written.

#include <cstdint>
#include <string_view>

namespace zelvio {

/// A database operation's outcome; 0 means success.
using DbStatus = std::uint16_t;

inline constexpr DbStatus kDbOk = 0;            ///< success
inline constexpr DbStatus kDbCannotCreate = 1;  ///< the file cannot be created or written whole
inline constexpr DbStatus kDbMemoryFull =
    0x0102;  ///< not enough memory to make or enlarge a record
inline constexpr DbStatus kDbNullPointer = 0x0103;  ///< a null destination or source
inline constexpr DbStatus kDbIndexOutOfRange =
    0x0202;  ///< record index 200 or more (or past the record)
inline constexpr DbStatus kDbRecordNotFound = 0x020A;  ///< no record in this slot

/// A short English text for a status, e.g. "record index out of range"; "unknown status" for a
/// number that is none of the above.
[[nodiscard]] std::string_view dbStatusText(DbStatus status);

}  // namespace zelvio
