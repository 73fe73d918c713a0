// The colour scale of the height maps: a class value (level) 0..255 runs from
// blue (0) over red and orange (about 86..170) to green (171..255). Each
// function gives one byte of the colour; renderers take them as three
// function arguments in the order blue, red, green.
#pragma once

#include <cstdint>

using ColourComponent = uint8_t (*)(uint8_t level);

// 255 - 3a up to 85, 0 up to 170, then 3 (a - 170).
uint8_t colour_blue(uint8_t level);
// 3a up to 85 (0..255); 255 at 86 falling to 151 at 170; 30 above 170.
uint8_t colour_red(uint8_t level);
// 0 up to 85; 72 at 86 rising to 255 at 170; 230 at 171 falling to 138 at 255.
uint8_t colour_green(uint8_t level);
