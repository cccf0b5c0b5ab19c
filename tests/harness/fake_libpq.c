/* A stand-in client library exporting every name the driver binds but one: the build
   renames the missing function (for example -Dlo_unlink=vnx_hidden_lo_unlink). */
#include "libpq/libpq_names.h"

#define VNX_FAKE_FUNCTION(name) int name(void) { return 0; }
VNX_LIBPQ_REQUIRED(VNX_FAKE_FUNCTION)
