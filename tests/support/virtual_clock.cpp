#include "tests/support/virtual_clock.h"
