// Just enough of the platform's types for the module contract header, so
// that the readers of the module's records build natively for fuzzing. Only
// the native fuzz build puts this folder on its include path.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define WM_USER 0x0400
#define __declspec(x)

typedef struct HWND__ *HWND;
typedef struct HINSTANCE__ *HMODULE;
// The records are laid out as on 32-bit Windows; the item id list is never
// followed here, only its size counts.
typedef uint32_t LPITEMIDLIST;
typedef uint32_t DWORD;
typedef struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;
