// <windows.h> for the renderer's platform code, without the min and max macros and the parts it
// does not use. Included only where _WIN32 is defined.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
