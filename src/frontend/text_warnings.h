#pragma once
// What a database will not keep of the title and description the user gave: the handheld stores
// at most 31 and 63 characters of its own character set. Front ends show these as warnings
// before a run; the database is written all the same.
//
//   handheldTextWarnings(settings) for the title "Łódź lecture" gives
//       {"the handheld cannot show \"Ł\", \"ź\" in the title: stored as \"?\" (\"?ód? lecture\")"}
// (ó is in the handheld's set and stays.)

#include <string>
#include <vector>

#include "job/conversion_job.h"

namespace zelvio {

/// One warning per text and kind of loss: a text cut to its length, characters stored as '?'.
/// The title is the one the database gets: settings.title, or the input's name when that is
/// empty. Empty when everything is kept.
[[nodiscard]] std::vector<std::string> handheldTextWarnings(const ConversionSettings& settings);

}  // namespace zelvio
