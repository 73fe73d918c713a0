#include "gui/main_window/unit1.h"
