#include "test_common.h"
