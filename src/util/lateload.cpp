// Binding a program's system functions on their first call (setup.exe's and
// uninst.exe's), and the library search both restrict first. The program's
// import table names only kernel32 and msvcrt, which the system always takes
// from its own folder; user32, gdi32, advapi32, ole32 and shell32 are loaded
// by name the first time one of their functions is called, after the program has
// restricted the library search to the system folder. So no library that a
// system DLL pulls in (Wine's user32 imports version.dll, for instance) can
// be taken from the program's folder, where anybody may have put one.
//
// The import libraries come from cmake/make-late-import-lib.sh. Only kernel32
// may be called here: anything else would come back to this function.
#include "util/lateload.h"

#include <windows.h>

#include "util/paths.h"

namespace
{

// The delay-load descriptor of the PE format: addresses are relative to the
// image when bit 0 of `attributes` is set, absolute otherwise.
struct LateImports {
    DWORD attributes;
    DWORD dllName;
    DWORD module;
    DWORD addresses;
    DWORD names;
    DWORD boundAddresses;
    DWORD unloadAddresses;
    DWORD stamp;
};

} // namespace

extern "C" IMAGE_DOS_HEADER __ImageBase;

// Called by the import thunks with the library's descriptor and the slot of
// the function wanted: loads the library once, fills the slot and returns the
// function. A system library or function that cannot be had leaves nothing to
// run, so the process ends.
extern "C" FARPROC WINAPI __delayLoadHelper2(const LateImports *imports, FARPROC *slot)
{
    ULONG_PTR base = (imports->attributes & 1) ? reinterpret_cast<ULONG_PTR>(&__ImageBase) : 0;
    auto *module = reinterpret_cast<HMODULE *>(base + imports->module);
    auto *addresses = reinterpret_cast<FARPROC *>(base + imports->addresses);
    auto *names = reinterpret_cast<const IMAGE_THUNK_DATA32 *>(base + imports->names);
    if (!*module)
        *module = LoadLibraryA(reinterpret_cast<const char *>(base + imports->dllName));
    if (!*module)
        LateBindingFailed();
    DWORD entry = names[slot - addresses].u1.AddressOfData;
    const char *name =
        IMAGE_SNAP_BY_ORDINAL32(entry)
            ? reinterpret_cast<const char *>(static_cast<ULONG_PTR>(IMAGE_ORDINAL32(entry)))
            : reinterpret_cast<const char *>(
                  reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + entry)->Name);
    FARPROC function = GetProcAddress(*module, name);
    if (!function)
        LateBindingFailed();
    *slot = function;
    return function;
}

void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    auto setDefault =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(found));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    SetDllDirectoryA("");
}

void BindDialogLibraries()
{
    const char *const names[] = {"uxtheme.dll", "msimg32.dll"};
    char system[kPathSize];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length == 0 || length >= sizeof system)
        return;
    for (const char *name : names) {
        char path[kPathSize];
        if (JoinPath(path, system, name))
            LoadLibraryA(path);
    }
}
