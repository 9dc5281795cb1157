#pragma once
// Dialog units: the font-relative measure the dialog layouts are given in.
//
// A horizontal dialog unit is a quarter of the font's average character width and a vertical one
// an eighth of its height, so a layout keeps its proportions whatever font the desktop uses.

#include <QFont>
#include <QRect>
#include <QSize>

namespace zelvio {

/// Converts dialog units to pixels for one font.
class DialogUnits {
  public:
    /// Base units in pixels: the average character width and the character height.
    DialogUnits(int baseWidth, int baseHeight);

    /// The base units of a font: the mean advance of the 52 Latin letters, rounded, and the
    /// font's line height.
    static DialogUnits fromFont(const QFont& font);

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

    /// x dialog units in pixels: x * baseWidth / 4, rounded to nearest.
    int toPixelsX(int x) const;
    /// y dialog units in pixels: y * baseHeight / 8, rounded to nearest.
    int toPixelsY(int y) const;
    /// A rectangle given by its top-left corner and size, all in dialog units, in pixels.
    QRect toPixels(int x, int y, int width, int height) const;
    QSize toPixels(int width, int height) const;

  private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace zelvio
