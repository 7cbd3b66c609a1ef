#pragma once

#include <string>

// An FTE as messages and reports write it: the shortest decimal that reads back as the same
// double, a whole number keeping one zero after the point (1 gives "1.0", 0.75 gives "0.75").
// Very small or large values take an exponent, as the cards show them ("5e-324"), rather
// than hundreds of digits. Non-finite values give "nan", "inf" or "-inf".
std::string fteText(double fte);

// The largest FTE a position is given where an FTE is typed or imported. One position stands
// for at most as many full-time people as one entry may create positions (1,000); anything
// larger is a slip of the keyboard. Documents that store a larger FTE still open and draw.
inline constexpr double maximumEnteredFte = 1000;
// The limit as messages write it.
inline constexpr const char *maximumEnteredFteText = "1,000";
