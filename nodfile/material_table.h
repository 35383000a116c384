// The material table at the start of a NOD model file: a version, a count and a run of
// fixed-size name fields. Reading and writing touch only those bytes; the model data that
// follows the table is never read and never changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

constexpr std::int32_t kMaterialTableVersion = 7;
constexpr std::size_t kMaterialNameSize = 32;

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
    WriteFailed,   // the file was opened but a write, the flush or the close failed
    TableChanged,  // the stored table no longer has the shape being written; nothing written
};

// Names in file order; each is 0 to kMaterialNameSize bytes in the ANSI code page.
// They are kept as the file keeps them, in zero-padded fields of kMaterialNameSize bytes,
// so reading and writing move whole runs of fields instead of one string per name.
class MaterialTable {
public:
    MaterialTable() = default;
    MaterialTable(std::initializer_list<std::string_view> names);

    std::size_t size() const { return m_fields.size() / kMaterialNameSize; }
    bool empty() const { return m_fields.empty(); }
    // The bytes before the field's first zero, or all of them when it has none.
    std::string_view operator[](std::size_t index) const;
    // Keeps at most kMaterialNameSize bytes of name, and none from a zero byte on.
    void push_back(std::string_view name);
    // Replaces the name at index (below size()), with the same limits as push_back.
    void set(std::size_t index, std::string_view name);
    void clear() { m_fields.clear(); }

    bool operator==(const MaterialTable& other) const { return m_fields == other.m_fields; }
    bool operator!=(const MaterialTable& other) const { return !(*this == other); }

private:
    friend TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names);
    friend TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names);
    friend struct MaterialTableIo;  // the reading and writing shared by the operations below

    std::vector<char> m_fields;
};

// Fills names only on Loaded; on any other result names is left empty.
TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names);

// Writes the table over the first bytes of an existing file, without truncating it.
// Only a file whose stored table has the same version and count, and that still holds
// all of it, is written: anything else was rewritten by another program since it was read,
// and writing over it would destroy model data or lengthen the file.
TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names);

// The outcome of UpdateMaterialTable: the read's, and the write's when one was due.
struct TableUpdateResult {
    TableReadResult read = TableReadResult::CannotOpen;
    bool changed = false;  // the change gave a different table, so a write was due
    TableWriteResult write = TableWriteResult::Saved;  // meaningful only when changed
};

// Gets the stored names; fills updated and returns true to have it written, false to
// leave the file alone. updated may only replace names: it keeps the stored count.
using TableChange = std::function<bool(const MaterialTable& stored, MaterialTable& updated)>;

// Reads the table and, when change gives a different one, writes that over the stored
// table through the same open file: one opening per file where two would be needed with
// ReadMaterialTable and WriteMaterialTable; another program rewriting the file in place
// between the read and the write has only the time of the change to do it in. The
// file's length and everything after the table are kept; a file whose names stay the
// same is never written. A file that cannot be opened for writing is still read, so it
// is unchanged when it needs no change, and fails with CannotOpenForWriting when it
// does. An updated table of another count is not written (TableChanged), an empty one
// neither (NoMaterials).
TableUpdateResult UpdateMaterialTable(const std::string& path, const TableChange& change);
