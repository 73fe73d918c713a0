#include "render/picture.h"
#include "analysis/grid.h"
#include <vector>
#include "local.h"
