// The Windows headers for reading common controls, in the order they need, and the progress-bar queries
// of Windows Vista and later, which the headers only declare for builds aimed at those versions.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#ifndef PBM_GETSTEP
#define PBM_GETSTEP (WM_USER + 13)
#endif
#ifndef PBM_GETBARCOLOR
#define PBM_GETBARCOLOR (WM_USER + 15)
#endif
