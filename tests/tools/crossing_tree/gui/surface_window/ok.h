#include "gui/widgets/edit_box.h"
#include "exports/data_export.h"
