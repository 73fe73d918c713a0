// The phase byte of one filter response, by definition.
#pragma once

#include <cstdint>

// round(atan2(-Im, Re) * 128 / pi) with the C library's atan2, rounded to
// nearest with halves to even, as a two's complement byte (128 and -128 alike
// give 0x80); 0 for a response without a phase (Re = Im = 0) and where the
// angle is not a number. The vector kernel (phase_angle-inl.h) gives the
// same bytes and falls back to this next to every rounding boundary.
uint8_t phase_byte(double re, double im);
