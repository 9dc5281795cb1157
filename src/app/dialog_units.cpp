#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace zelvio {
namespace {

// value * numerator / denominator rounded to nearest, halves away from zero.
int scaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

DialogUnits::DialogUnits(int baseWidth, int baseHeight)
    : baseWidth_(baseWidth > 0 ? baseWidth : 1), baseHeight_(baseHeight > 0 ? baseHeight : 1) {}

DialogUnits DialogUnits::fromFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The mean over 52 letters, rounded: (letters / 26 + 1) / 2.
    return DialogUnits((letters / 26 + 1) / 2, metrics.height());
}

int DialogUnits::toPixelsX(int x) const {
    return scaleRounded(x, baseWidth_, 4);
}

int DialogUnits::toPixelsY(int y) const {
    return scaleRounded(y, baseHeight_, 8);
}

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    // Both edges are converted, so that touching controls still touch after rounding.
    const int left = toPixelsX(x);
    const int top = toPixelsY(y);
    return QRect(left, top, toPixelsX(x + width) - left, toPixelsY(y + height) - top);
}

QSize DialogUnits::toPixels(int width, int height) const {
    return QSize(toPixelsX(width), toPixelsY(height));
}

}  // namespace zelvio
