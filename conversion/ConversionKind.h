#pragma once

// The four conversions, numbered as the window's conversion list shows them.
enum class ConversionKind {
    Compose = 0,      // gray slots 1, 2, 3 become the red, green and blue of colour slot 4
    Decompose = 1,    // colour slot 1 splits into gray slots 2, 3, 4
    ColorToGray = 2,  // colour slot 1 becomes gray slot 2 with the weights
    GrayToColor = 3,  // gray slot 1 becomes colour slot 2 through the colour table
};
inline constexpr int ConversionKindCount = 4;
