// The one place that chooses the platform.
//
// On Windows the library compiles against the SDK / mingw-w64 MAPI and Win32
// headers and links MAPI32; elsewhere against the project's own declarations
// of the same names, implemented by the MAPI stand-in (mapisim). Nothing
// else in src/ tests the platform.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <mapix.h>
#include <mapiutil.h>
#include <mapidefs.h>
#include <mapicode.h>
#else
#include "mapisim/decl/mapi.h"
#include "mapisim/decl/win32.h"
#endif
