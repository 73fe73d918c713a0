// TForm1: the evaluation selectors and pop-up menus of the maps, and the
// data export.
#include "main_window/unit1.h"

void TForm1::connect_evaluation_handlers() {}
