#pragma once
// The program names its fixed-pitch faces after the classic terminal fonts
// ("Fixedsys", "Courier"), which a Linux desktop seldom has. Asking fontconfig for a
// missing face gives whatever it prefers, often a proportional one, so the faces are
// resolved here against the font database itself.
#include <QFont>
#include <QString>

// `wanted` itself when it is installed and fixed-pitch; otherwise the first installed
// fixed-pitch face of a list of common ones, then of the whole database.
QString FixedPitchFamily(const QString& wanted);

// A font of that face at the given pixel height, kerning off.
QFont FixedPitchFont(const QString& wanted, int pixelHeight, bool bold = false);
