// driver_manager_hold.cpp - the reference to odbc32 of
// driver_manager_hold.h. Only the Windows build holds one; on Linux both
// functions do nothing.
#include "conn/driver_manager_hold.h"

#if defined(_WIN32)
#include <windows.h>

static HMODULE held_module = nullptr;

void driver_manager_hold() {
    if (held_module != nullptr) return;
    HMODULE m = nullptr;
    if (GetModuleHandleExA(0, "odbc32.dll", &m)) held_module = m;
}

void driver_manager_release() {
    if (held_module != nullptr) FreeLibrary(held_module);
    held_module = nullptr;
}
#else
void driver_manager_hold() {}
void driver_manager_release() {}
#endif
