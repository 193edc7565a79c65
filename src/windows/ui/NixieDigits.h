#pragma once
// The clock's ten digit images: orange numerals glowing in gas-discharge tubes, drawn
// by our own code once at start (glass envelope, honeycomb anode in front, the unlit
// cathodes faintly visible around the lit one).
#include <QImage>
#include <array>

// Image n shows the numeral n, DigitImageWidth x DigitImageHeight pixels, 32-bit colour.
std::array<QImage, 10> MakeNixieDigits();

// A round neon separator lamp (as between hours and minutes), centred in its image.
QImage MakeNeonDot(int diameter);
