#include "tests/support/Paths.h"
