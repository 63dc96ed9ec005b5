#pragma once
// <windows.h> as every Windows source of ours sees it: the wide API under the plain names
// (UNICODE), the lean set of headers, no min and max macros, and without the macros that would
// rename the ports' own members (CopyFile, MessageBox). Include it before any other Windows
// header: one included first would have fixed <windows.h> without these, so that stops the build.
// Call the wide API functions by their W names all the same.

#if defined(_WINDOWS_)
#error "a Windows header came before platform/win32/windows_headers.h"
#endif

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE  // NOLINT(bugprone-reserved-identifier): the runtime's own name for it
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#undef CopyFile
#undef MessageBox
