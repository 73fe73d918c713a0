#include "studies/study.h"
