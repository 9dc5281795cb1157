#include "frontend/progress_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelvio {
namespace {

constexpr double kFirstEstimateFraction = 0.03;
constexpr std::chrono::milliseconds kFirstEstimateElapsed{2000};

}  // namespace

std::string_view stageText(ConversionStage stage) {
    switch (stage) {
        case ConversionStage::Reading:
            return "Reading";
        case ConversionStage::Converting:
            return "Converting";
        case ConversionStage::Saving:
            return "Saving";
    }
    return "Converting";
}

std::optional<std::chrono::seconds> estimatedTimeLeft(double fraction,
                                                      std::chrono::milliseconds elapsed) {
    if (!(fraction >= kFirstEstimateFraction) || elapsed < kFirstEstimateElapsed) {
        return std::nullopt;
    }
    fraction = std::min(fraction, 1.0);
    const double secondsLeft =
        std::chrono::duration<double>(elapsed).count() * (1.0 - fraction) / fraction;
    return std::chrono::seconds(std::llround(secondsLeft));
}

std::string timeLeftText(std::chrono::seconds left) {
    const long long seconds = left.count();
    if (seconds < 5) {
        return "a few seconds left";
    }
    // Up in steps of 5 s: 41 to 45 s is "about 45 s"; from 56 s on, whole minutes.
    if (const long long stepped = (seconds + 4) / 5 * 5; stepped < 60) {
        return "about " + std::to_string(stepped) + " s left";
    }
    const long long minutes = (seconds + 30) / 60;
    if (minutes < 60) {
        return "about " + std::to_string(minutes) + " min left";
    }
    // Appended piece by piece: GCC 12 at -O3 takes "literal" + std::to_string(...) here for an
    // overlapping copy (-Wrestrict), a false alarm that would stop a Release build.
    std::string text = "about ";
    text += std::to_string(minutes / 60);
    text += " h";
    if (minutes % 60 != 0) {
        text += ' ';
        text += std::to_string(minutes % 60);
        text += " min";
    }
    text += " left";
    return text;
}

ProgressView progressView(double fraction, ConversionStage stage,
                          std::chrono::milliseconds elapsed) {
    fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    ProgressView view;
    view.permille = static_cast<int>(fraction * 1000.0);
    view.percent = view.permille / 10;
    view.text = std::string(stageText(stage)) + ": " + std::to_string(view.percent) + "%";
    if (const auto left = estimatedTimeLeft(fraction, elapsed); left && fraction < 1.0) {
        view.text += ", " + timeLeftText(*left);
    }
    return view;
}

std::string clockText(std::chrono::milliseconds duration) {
    const long long seconds = std::max<long long>(0, duration.count() / 1000);
    char text[48];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    }
    return text;
}

std::string terminalProgressLine(std::string_view label, double fraction,
                                 std::chrono::milliseconds elapsed, int columns) {
    fraction = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    const int percent = static_cast<int>(fraction * 100.0);
    char head[64];
    std::snprintf(head, sizeof head, "%-10.*s %3d%%", static_cast<int>(label.size()), label.data(),
                  percent);
    std::string times = clockText(elapsed) + " elapsed";
    if (const auto left = estimatedTimeLeft(fraction, elapsed); left && fraction < 1.0) {
        times += ", " + clockText(*left) + " left";
    }
    // head, " [", the bar, "] ", times, and one column spare so the cursor never wraps.
    constexpr int kMaxBar = 40;
    constexpr int kMinBar = 10;
    const int room = columns - 1 - static_cast<int>(std::string_view(head).size()) - 4 -
                     static_cast<int>(times.size());
    const int barWidth = std::min(kMaxBar, room);
    if (barWidth < kMinBar) {
        return std::string(head) + " " + times;
    }
    const int filled = percent * barWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(static_cast<std::size_t>(barWidth), '.');
    return std::string(head) + " [" + bar + "] " + times;
}

}  // namespace zelvio
