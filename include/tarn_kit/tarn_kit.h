// TarnKit: every public header of the library.
#pragma once

#include "config.h"
#include "version.h"

#include "comm_port.h"
#include "dialogs.h"
#include "exceptions.h"
#include "file.h"
#include "library.h"
#include "log_file.h"
#include "matrix.h"
#include "objects.h"
#include "settings.h"
#include "shell.h"
#include "socket.h"
#include "system_time.h"
#include "thread.h"
#include "translator.h"
#include "ustring.h"
#include "variant.h"
