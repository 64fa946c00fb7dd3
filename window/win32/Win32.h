// SPDX-License-Identifier: MIT
// <windows.h> for files that also see the window logic: its macros named
// MessageBox and Yield would rename the window operations of that name.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef MessageBox
#undef Yield
