// The one way the program reaches the platform: the Windows SDK on Windows,
// the in-memory stand-in's declarations of the same subset everywhere else.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <dbt.h>
#include <initguid.h>
#include <winioctl.h>
#else
#include "host/win32_host.h"
#endif
