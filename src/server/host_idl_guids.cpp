// Defines the identifiers of the host's interfaces declared by the IDL header.
#include <initguid.h>

#include "host_idl.h"
