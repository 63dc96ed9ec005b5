// Defines the identifiers of the host's interfaces declared by the IDL header.
#include "platform/win32/windows_headers.h"

#include <initguid.h>

#include "host_idl.h"
