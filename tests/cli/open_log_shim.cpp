// Preloaded into nodmat by its end-to-end tests. It logs every fopen (mode, a tab, the
// path) to the file named by NODMAT_TEST_OPEN_LOG, so a test can tell which files were
// read and which were opened for writing. When NODMAT_TEST_REWRITE names a path, the
// first opening of it for writing is preceded by copying NODMAT_TEST_REWRITE_WITH over
// it: another program rewriting the file between nodmat's read and its write.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

void rewrite_first_time(fopen_fn real, const char* path, const char* mode)
{
    static bool done;
    const char* target = getenv("NODMAT_TEST_REWRITE");
    const char* with = getenv("NODMAT_TEST_REWRITE_WITH");
    if (done || !target || !with || strcmp(path, target) != 0 || mode[0] != 'r' || !strchr(mode, '+'))
        return;
    done = true;
    FILE* in = real(with, "rb");
    FILE* out = real(path, "wb");
    char buffer[4096];
    size_t got;
    while (in && out && (got = fread(buffer, 1, sizeof buffer, in)) > 0)
        fwrite(buffer, 1, got, out);
    if (in)
        fclose(in);
    if (out)
        fclose(out);
}

FILE* logged_open(const char* name, const char* path, const char* mode)
{
    const auto real = reinterpret_cast<fopen_fn>(dlsym(RTLD_NEXT, name));
    log_open(real, path, mode);
    rewrite_first_time(real, path, mode);
    return real(path, mode);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) { return logged_open("fopen", path, mode); }
extern "C" FILE* fopen64(const char* path, const char* mode) { return logged_open("fopen64", path, mode); }
