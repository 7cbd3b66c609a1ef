#pragma once

#include <string>

// An FTE as messages and reports write it: the shortest decimal that reads back as the same
// double, a whole number keeping one zero after the point (1 gives "1.0", 0.75 gives "0.75").
// Plain decimal notation, never an exponent. Non-finite values give "nan", "inf" or "-inf".
std::string fteText(double fte);
