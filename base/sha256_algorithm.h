#pragma once

#include <windows.h>

#include <wincrypt.h>

// The XP SP2 headers leave SHA-256 out, as that system's providers do; the
// program asks the provider for it at run time to find out.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif
