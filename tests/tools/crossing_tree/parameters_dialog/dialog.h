#include "main_window/unit1.h"
