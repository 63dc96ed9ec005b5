#pragma once
// <windows.h> without the macros that would rename the ports' own members (CopyFile,
// MessageBox). Include this instead of <windows.h> wherever the core's headers are seen too;
// call the wide API functions by their W names.

#include <windows.h>

#undef CopyFile
#undef MessageBox
