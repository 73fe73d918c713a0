// TForm1: colour ranges, their step buttons, and the contrast and noise
// track bars.
#include "main_window/unit1.h"

void TForm1::connect_range_handlers() {}
