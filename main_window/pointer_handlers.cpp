// TForm1: the pointer over the maps and the raw images.
#include "main_window/unit1.h"

void TForm1::connect_pointer_handlers() {}
