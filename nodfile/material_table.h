// The material table at the start of a NOD model file: a version, a count and a run of
// fixed-size name fields. Reading and writing touch only those bytes; the model data that
// follows the table is never read and never changed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

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
// The storage is grown by hand rather than by a standard container, so that reading
// learns of a table too large for memory from a failed allocation and reports it, in
// builds with C++ exceptions and without. Elsewhere running out of memory is what it is
// for a standard container (std::bad_alloc, or the end of a program built without
// exceptions).
class MaterialTable {
public:
    MaterialTable() = default;
    MaterialTable(std::initializer_list<std::string_view> names);
    MaterialTable(const MaterialTable& other);
    MaterialTable(MaterialTable&& other) noexcept;
    MaterialTable& operator=(const MaterialTable& other);
    MaterialTable& operator=(MaterialTable&& other) noexcept;
    ~MaterialTable();

    std::size_t size() const { return m_size / kMaterialNameSize; }
    bool empty() const { return m_size == 0; }
    // The bytes before the field's first zero, or all of them when it has none.
    std::string_view operator[](std::size_t index) const;
    // Keeps at most kMaterialNameSize bytes of name, and none from a zero byte on.
    void push_back(std::string_view name);
    // Replaces the name at index (below size()), with the same limits as push_back.
    void set(std::size_t index, std::string_view name);
    void clear() { m_size = 0; }

    bool operator==(const MaterialTable& other) const;
    bool operator!=(const MaterialTable& other) const { return !(*this == other); }

private:
    friend TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names);
    friend TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names);
    friend struct MaterialTableIo;  // the reading and writing shared by the operations below

    // Reads count fields from the stream's position into this empty table; false when the
    // file ends first or memory is short.
    bool ReadFields(std::FILE* file, std::int32_t count, std::uint64_t fileSize);
    // Room for at least bytes bytes of fields; false, with the table unchanged, when
    // memory is short.
    bool Reserve(std::size_t bytes);
    void swap(MaterialTable& other) noexcept;

    char* m_fields = nullptr;  // from malloc/realloc
    std::size_t m_size = 0;    // bytes in use, a whole number of fields
    std::size_t m_capacity = 0;
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
