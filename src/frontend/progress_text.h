#pragma once
// What a front end shows while a run goes on: the percentage, the stage in words and, once it
// can be estimated, the time left.
//
//   progressView(0.45, ConversionStage::Converting, 20s).text
//       == "Converting: 45%, about 25 s left"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "job/conversion_job.h"

namespace zelvio {

/// The stage in words: "Reading", "Converting" or "Saving".
[[nodiscard]] std::string_view stageText(ConversionStage stage);

/// The time the rest of a run will take, from how long the part done so far took, assuming the
/// rest goes at the same pace. nullopt until an estimate means something: before 3% of the run
/// or two seconds have passed.
[[nodiscard]] std::optional<std::chrono::seconds> estimatedTimeLeft(
    double fraction, std::chrono::milliseconds elapsed);

/// A time left in words, rounded so that it does not flicker from one report to the next:
/// "a few seconds left" under 5 s, "about 25 s left" in steps of 5 s under a minute, "about 3 min
/// left" in whole minutes under an hour, "about 1 h 20 min left" beyond.
[[nodiscard]] std::string timeLeftText(std::chrono::seconds left);

/// A progress report as the user sees it.
struct ProgressView {
    int permille = 0;  ///< for a bar: 0 to 1000
    int percent = 0;   ///< 0 to 100, rounded down
    std::string text;  ///< "Converting: 45%" with ", about 25 s left" once it is known
};

/// The view of a report of the fraction done (held to 0 to 1) in a stage, elapsed after the run
/// started.
[[nodiscard]] ProgressView progressView(double fraction, ConversionStage stage,
                                        std::chrono::milliseconds elapsed);

/// A duration as a clock shows it: "0:04", "12:30", "1:02:03" (whole seconds, rounded down).
[[nodiscard]] std::string clockText(std::chrono::milliseconds duration);

/// One line of progress for a terminal, like sox's: the label, the percentage, a bar, the time
/// elapsed and, once it can be estimated, the time left, in fewer than columns characters (the
/// bar shrinks, and goes when there is no room for it):
///
///   terminalProgressLine("Converting", 0.45, 4500ms, 80)
///       == "Converting  45% [##################......................] 0:04 elapsed, 0:06 left"
///
/// The text changes only when the percentage or a whole second does, so that a terminal is
/// redrawn only then.
[[nodiscard]] std::string terminalProgressLine(std::string_view label, double fraction,
                                               std::chrono::milliseconds elapsed, int columns);

}  // namespace zelvio
