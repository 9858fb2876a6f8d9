// TarnKit: every public header of the library.
#pragma once

// First: it brings winsock2.h, which must come before windows.h.
#include "socket.h"

#include "config.h"
#include "version.h"

#include "comm_port.h"
#include "exceptions.h"
#include "file.h"
#include "log_file.h"
#include "matrix.h"
#include "objects.h"
#include "system_time.h"
#include "translator.h"
#include "ustring.h"
#include "variant.h"
