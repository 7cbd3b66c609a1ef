#include "core/model/fte_text.h"

#include "core/support/number_text.h"

std::string fteText(double fte)
{
    return NumberText::shortestDecimal(fte);
}
