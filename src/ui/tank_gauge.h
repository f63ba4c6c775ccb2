#pragma once

namespace kestu::ui {

// Tank drawing sizes, in twips.
inline constexpr int TankOutlineWidth = 630;
inline constexpr int TankOutlineHeight = 780;
inline constexpr int TankFillInset = 15;  // the fill's left and top edges inside the outline
inline constexpr int TankFillWidth = 600;
inline constexpr int TankFillDesignHeight = 750;
// The fill's height is a 16-bit figure; larger amounts draw this high.
inline constexpr int MaxFillHeight = 32767;

enum class SurfaceColour { Blue, Cyan };

// One tank's water as drawn: the fill rectangle standing on a fixed floor and
// the surface line on top of it. One twip of height per two buckets; the
// line's colour shows whether the amount is odd.
struct TankGauge {
    int left = 0;
    int top = 0;  // top edge of the fill
    int width = TankFillWidth;
    int height = TankFillDesignHeight;
    bool fillVisible = true;
    int lineY = 0;
    bool lineVisible = true;
    SurfaceColour lineColour = SurfaceColour::Blue;

    // A full tank as designed, its fill's top-left corner at (fillLeft, fillTop).
    static TankGauge Designed(int fillLeft, int fillTop);

    int Floor() const { return top + height; }

    // Draws `amount` buckets; a negative amount changes nothing. True when
    // anything of the drawing changed.
    bool FillTank(long long amount);

    friend bool operator==(const TankGauge&, const TankGauge&) = default;
};

}  // namespace kestu::ui
