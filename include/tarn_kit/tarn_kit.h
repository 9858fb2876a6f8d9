// TarnKit: every public header of the library.
#pragma once

#include "config.h"
#include "version.h"

#include "drawing.h"
#include "exceptions.h"
#include "file.h"
#include "html.h"
#include "log_file.h"
#include "matrix.h"
#include "objects.h"
#include "settings.h"
#include "system_time.h"
#include "translator.h"
#include "ustring.h"
#include "variant.h"
