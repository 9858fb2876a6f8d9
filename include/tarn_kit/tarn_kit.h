// TarnKit: every public header of the library.
#pragma once

#include "config.h"
#include "version.h"

#include "exceptions.h"
#include "file.h"
#include "objects.h"
#include "ustring.h"
