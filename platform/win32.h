#pragma once
// The Win32 calls the library makes, with Windows' names, constants and semantics, on Linux.
#include "platform/types.h"
#include "platform/module.h"
#include "platform/window.h"
#include "platform/handle.h"
#include "platform/oserror.h"
#include "platform/thread.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/system.h"
#include "platform/detachedfile.h"
#include "platform/winsock.h"
