// entry.cpp - the library's entry point and terminal test, per platform.
#include "entry.h"

#if defined(_WIN32)

#include <io.h>
#include <windows.h>

vizori_fn library_entry(std::string *problem) {
    HMODULE lib = LoadLibraryA("roridorezu.dll");
    FARPROC proc = lib != nullptr ? GetProcAddress(lib, "vizori") : nullptr;
    if (proc == nullptr) {
        *problem = "roridorezu.dll or its export vizori was not found (error " +
                   std::to_string(static_cast<unsigned long>(GetLastError())) + ")";
        return nullptr;
    }
    return reinterpret_cast<vizori_fn>(reinterpret_cast<void *>(proc));
}

bool is_terminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

#else

#include <unistd.h>

extern "C" int RORI_CDECL vizori(void *p, host_callback cb);

vizori_fn library_entry(std::string *) { return vizori; }

bool is_terminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

#endif
