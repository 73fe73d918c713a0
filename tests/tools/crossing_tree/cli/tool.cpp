#include "gui/widgets/edit_box.h"
