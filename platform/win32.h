// The one way the program reaches the platform: the Windows SDK's declarations when built for
// Windows, Wine's declarations of the same calls (Debian's libwine-dev) for the host tests.
#pragma once

// No min and max macros: they would break the C++ library.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>
#include <commctrl.h>
#include <setupapi.h>
#include <cfgmgr32.h>
#include <dbt.h>
#ifdef _WIN32
// The interface classes' GUIDs are defined in the one file that names them.
#ifdef KESTRABIN_DEFINE_GUIDS
#include <initguid.h>
#endif
#include <winioctl.h>
#else
// Wine gives the interface classes their older names; the host platform defines them once.
#include <winioctl.h>
#include <ntddstor.h>
#define GUID_DEVINTERFACE_DISK DiskClassGuid
#define GUID_DEVINTERFACE_CDROM CdRomClassGuid
#define GUID_DEVINTERFACE_FLOPPY FloppyClassGuid
// What Wine's configuration-manager header leaves out.
#define DN_DISABLEABLE 0x00002000
#define DN_REMOVABLE 0x00004000
extern "C" CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags);
extern "C" CONFIGRET WINAPI CM_Query_And_Remove_SubTreeA(
    DEVINST node, PPNP_VETO_TYPE veto, LPSTR name, ULONG length, ULONG flags);
#endif
