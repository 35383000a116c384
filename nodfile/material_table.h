// The material table at the start of a NOD model file: a version, a count and a run of
// fixed-size name fields. Reading and writing touch only those bytes; the model data that
// follows the table is never read and never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::int32_t kMaterialTableVersion = 7;
constexpr std::size_t kMaterialNameSize = 32;

// Names in file order; each is 0 to kMaterialNameSize bytes in the ANSI code page.
using MaterialTable = std::vector<std::string>;

enum class TableReadResult {
    Loaded,
    CannotOpen,
    NotValid,     // wrong version, or the file is shorter than the table it declares
    NoMaterials,  // count of zero or below
};

enum class TableWriteResult {
    Saved,
    CannotOpenForWriting,
    NoMaterials,
    WriteFailed,  // the file was opened but a write, the flush or the close failed
};

// Fills names only on Loaded; on any other result names is left empty.
TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names);

// Writes the table over the first bytes of an existing file, without truncating it.
TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names);
