#include "frontend/progress_text.h"

#include <algorithm>
#include <cmath>

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
    std::string text = "about " + std::to_string(minutes / 60) + " h";
    if (minutes % 60 != 0) {
        text += " " + std::to_string(minutes % 60) + " min";
    }
    return text + " left";
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

}  // namespace zelvio
