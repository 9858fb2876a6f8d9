// TarnKit: every public header of the library.
#pragma once

#include "config.h"
#include "version.h"

#include "exceptions.h"
#include "matrix.h"
#include "system_time.h"
#include "ustring.h"
#include "variant.h"
