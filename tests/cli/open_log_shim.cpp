// Preloaded into nodmat by its end-to-end tests. It logs every fopen (mode, a tab, the
// path) to the file named by NODMAT_TEST_OPEN_LOG, so a test can tell which files were
// read and which were opened for writing.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

using fopen_fn = FILE* (*)(const char*, const char*);

void log_open(fopen_fn real, const char* path, const char* mode)
{
    const char* log = getenv("NODMAT_TEST_OPEN_LOG");
    if (!log)
        return;
    FILE* out = real(log, "a");
    if (out) {
        fprintf(out, "%s\t%s\n", mode, path);
        fclose(out);
    }
}

FILE* logged_open(const char* name, const char* path, const char* mode)
{
    const auto real = reinterpret_cast<fopen_fn>(dlsym(RTLD_NEXT, name));
    log_open(real, path, mode);
    return real(path, mode);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) { return logged_open("fopen", path, mode); }
extern "C" FILE* fopen64(const char* path, const char* mode) { return logged_open("fopen64", path, mode); }
