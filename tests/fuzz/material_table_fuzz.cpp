// Feeds arbitrary bytes to the reader as a file; whatever loads is written back and read
// again, which must give the same names and leave every byte after the table alone.
#include "nodfile/material_table.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string ScratchPath()
{
    const char* dir = std::getenv("PALVANE_FUZZ_DIR");
    return std::string(dir ? dir : "/tmp") + "/fuzz-" + std::to_string(getpid()) + ".nod";
}

std::string Slurp(const std::string& path)
{
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    static const std::string path = ScratchPath();
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            std::abort();
        std::fwrite(input.data(), 1, input.size(), f);
        std::fclose(f);
    }

    MaterialTable names;
    const TableReadResult read = ReadMaterialTable(path, names);
    if (read != TableReadResult::Loaded) {
        if (!names.empty())
            std::abort();
        return 0;
    }
    const std::size_t tableSize = 8 + names.size() * kMaterialNameSize;
    if (names.empty() || tableSize > size)
        std::abort();
    // Each name is its field's bytes up to the first zero.
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string field = input.substr(8 + i * kMaterialNameSize, kMaterialNameSize);
        if (names[i] != field.substr(0, field.find('\0')))
            std::abort();
    }

    if (WriteMaterialTable(path, names) != TableWriteResult::Saved)
        std::abort();
    const std::string written = Slurp(path);
    if (written.size() != size || written.compare(tableSize, std::string::npos, input, tableSize) != 0)
        std::abort();

    MaterialTable again;
    if (ReadMaterialTable(path, again) != TableReadResult::Loaded || again != names)
        std::abort();
    return 0;
}
