#include "widgets/edit_box.h"
