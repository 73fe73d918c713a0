#include "gui/widgets/decimal_point.h"

#include <clocale>

void use_point_as_decimal_separator() { std::setlocale(LC_NUMERIC, "C"); }
