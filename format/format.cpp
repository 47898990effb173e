// Placeholder until the engine lands: enough for the link helpers to build.
#include "format/format.h"

int FormatText(PutCharFn, const char*, va_list) { return 0; }
