#include "material_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kReadChunk = 64 * 1024;
// Holds the header and the fields of a table of up to 127 names, so reading or writing
// such a table takes one system call; larger reads go past the buffer, and a larger
// buffer would only copy more of the model data that follows the table.
constexpr std::size_t kStreamBuffer = 4 * 1024;

// Fields are little-endian whatever the host is.
std::int32_t DecodeInt32(const unsigned char* p)
{
    const std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                            std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
    return static_cast<std::int32_t>(u);
}

void EncodeInt32(std::int32_t value, unsigned char* p)
{
    const auto u = static_cast<std::uint32_t>(value);
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
    p[2] = static_cast<unsigned char>(u >> 16);
    p[3] = static_cast<unsigned char>(u >> 24);
}

std::size_t NameLength(const char* field)
{
    const void* zero = std::memchr(field, 0, kMaterialNameSize);
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : kMaterialNameSize;
}

// Zeroes every byte after the field's first zero. Reading runs this on every field, so
// on little-endian hosts it works on 8 bytes at a time instead of calling memchr and
// memset per field, which cost several times the file read itself.
void ClearAfterFirstZero(char* field)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr std::uint64_t kLow = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::uint64_t words[kMaterialNameSize / 8];
    std::memcpy(words, field, sizeof words);
    bool ended = false;
    for (std::uint64_t& word : words) {
        if (ended) {
            word = 0;
            continue;
        }
        // Flags the zero bytes; a false flag can only stand above a true one, so the
        // lowest flag is the first zero byte.
        const std::uint64_t zeros = (word - kLow) & ~word & kHigh;
        if (zeros) {
            const int firstZero = __builtin_ctzll(zeros) / 8;
            word &= firstZero ? ~std::uint64_t(0) >> (64 - 8 * firstZero) : 0;
            ended = true;
        }
    }
    std::memcpy(field, words, sizeof words);
#else
    const std::size_t length = NameLength(field);
    std::memset(field + length, 0, kMaterialNameSize - length);
#endif
}

// A missing tail of the field reads as zeros, as an unread integer would.
std::int32_t ReadInt32(std::FILE* file)
{
    unsigned char bytes[4] = {};
    std::fread(bytes, 1, sizeof bytes, file);
    return DecodeInt32(bytes);
}

// The file's length from an open stream, with 64-bit positions even where long is 32 bits
// (files over 4 GiB in the 32-bit program). Leaves the position at the end; false when
// the stream cannot seek.
bool FileSize(std::FILE* file, std::uint64_t& size)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return false;
    const long long end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    const off_t end = ftello(file);
#endif
    if (end < 0)
        return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

std::uint64_t TableSize(std::int32_t count)
{
    return kHeaderSize + std::uint64_t(count) * kMaterialNameSize;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Out of memory outside reading, where a standard container would have failed too.
[[noreturn]] void OutOfMemory()
{
#if defined(__cpp_exceptions)
    throw std::bad_alloc();
#else
    std::abort();
#endif
}

}  // namespace

MaterialTable::MaterialTable(std::initializer_list<std::string_view> names)
{
    for (std::string_view name : names)
        push_back(name);
}

MaterialTable::MaterialTable(const MaterialTable& other)
{
    if (other.m_size == 0)
        return;
    if (!Reserve(other.m_size))
        OutOfMemory();
    std::memcpy(m_fields, other.m_fields, other.m_size);
    m_size = other.m_size;
}

MaterialTable::MaterialTable(MaterialTable&& other) noexcept
{
    swap(other);
}

MaterialTable& MaterialTable::operator=(const MaterialTable& other)
{
    if (this != &other) {
        MaterialTable copy(other);
        swap(copy);
    }
    return *this;
}

MaterialTable& MaterialTable::operator=(MaterialTable&& other) noexcept
{
    MaterialTable taken(std::move(other));
    swap(taken);
    return *this;
}

MaterialTable::~MaterialTable()
{
    std::free(m_fields);
}

void MaterialTable::swap(MaterialTable& other) noexcept
{
    std::swap(m_fields, other.m_fields);
    std::swap(m_size, other.m_size);
    std::swap(m_capacity, other.m_capacity);
}

bool MaterialTable::Reserve(std::size_t bytes)
{
    if (bytes <= m_capacity)
        return true;
    void* grown = std::realloc(m_fields, bytes);
    if (!grown)
        return false;
    m_fields = static_cast<char*>(grown);
    m_capacity = bytes;
    return true;
}

bool MaterialTable::operator==(const MaterialTable& other) const
{
    return m_size == other.m_size && (m_size == 0 || std::memcmp(m_fields, other.m_fields, m_size) == 0);
}

std::string_view MaterialTable::operator[](std::size_t index) const
{
    const char* field = m_fields + index * kMaterialNameSize;
    return std::string_view(field, NameLength(field));
}

void MaterialTable::push_back(std::string_view name)
{
    // Grown by half again, so that adding names one by one costs amortised constant time.
    const std::size_t needed = m_size + kMaterialNameSize;
    if (needed > m_capacity && !Reserve(needed + needed / 2))
        OutOfMemory();
    m_size = needed;
    set(size() - 1, name);
}

void MaterialTable::set(std::size_t index, std::string_view name)
{
    char* field = m_fields + index * kMaterialNameSize;
    const std::size_t length = name.size() < kMaterialNameSize ? name.size() : kMaterialNameSize;
    std::memcpy(field, name.data(), length);
    std::memset(field + length, 0, kMaterialNameSize - length);
    ClearAfterFirstZero(field);
}

// The fields are read in chunks, so memory grows only with what the file really holds: a
// count larger than the file costs no more than the file. fileSize, when known, lets the
// storage be sized once instead of regrown.
bool MaterialTable::ReadFields(std::FILE* file, std::int32_t count, std::uint64_t fileSize)
{
    const std::uint64_t total = std::uint64_t(count) * kMaterialNameSize;
    // On a 32-bit host a table can be larger than the address space.
    if (total > SIZE_MAX)
        return false;
    const std::uint64_t present = fileSize > kHeaderSize ? fileSize - kHeaderSize : 0;
    if (total <= present && !Reserve(static_cast<std::size_t>(total)))
        return false;
    while (m_size < total) {
        const std::uint64_t left = total - m_size;
        const std::size_t want = left < kReadChunk ? static_cast<std::size_t>(left) : kReadChunk;
        if (m_size + want > m_capacity) {
            // Doubling keeps the cost of regrowing linear; never beyond the table.
            const std::uint64_t doubled = std::uint64_t(m_capacity) * 2;
            const std::uint64_t room = doubled < m_size + want ? m_size + want : doubled < total ? doubled : total;
            if (!Reserve(static_cast<std::size_t>(room)))
                return false;
        }
        if (std::fread(m_fields + m_size, 1, want, file) != want)
            return false;
        m_size += want;
    }
    // Bytes after a name's first zero are not part of it; clearing them here means the
    // table is written back with every field zero-padded.
    for (std::size_t at = 0; at < m_size; at += kMaterialNameSize)
        ClearAfterFirstZero(m_fields + at);
    return true;
}

// The reading and writing on an open stream that the operations share.
struct MaterialTableIo {
    static TableReadResult Read(std::FILE* file, MaterialTable& names);
    static TableWriteResult WriteAndClose(std::FILE* file, const MaterialTable& names);
    static TableWriteResult WriteAtStartAndClose(std::FILE* file, const MaterialTable& names);
};

// Reads the table from the start of the stream into names, which is left empty on any
// result but Loaded.
TableReadResult MaterialTableIo::Read(std::FILE* file, MaterialTable& names)
{
    names.clear();
    if (ReadInt32(file) != kMaterialTableVersion)
        return TableReadResult::NotValid;
    const std::int32_t count = ReadInt32(file);
    if (count <= 0)
        return TableReadResult::NoMaterials;

    // The size only spares regrowing the buffer of a table read in several chunks; a
    // smaller table is read into one allocation without it, and without the seeks that
    // learning it costs. A size that cannot be learnt only costs the regrowing.
    std::uint64_t size = 0;
    const bool sized = TableSize(count) - kHeaderSize > kReadChunk && FileSize(file, size);
    if (sized && std::fseek(file, kHeaderSize, SEEK_SET) != 0)
        return TableReadResult::NotValid;

    // A table too large for this process's memory cannot be shown or saved either.
    MaterialTable read;
    if (!read.ReadFields(file, count, sized ? size : 0))
        return TableReadResult::NotValid;
    names.swap(read);
    return TableReadResult::Loaded;
}

// Writes the header and the fields at the stream's position, which is the file's start,
// then closes the stream, whatever happens.
TableWriteResult MaterialTableIo::WriteAndClose(std::FILE* file, const MaterialTable& names)
{
    // The fields are already zero-padded, so they go out as they are, after the header.
    unsigned char header[kHeaderSize];
    EncodeInt32(kMaterialTableVersion, header);
    EncodeInt32(static_cast<std::int32_t>(names.size()), header + 4);
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
    ok = ok && std::fwrite(names.m_fields, 1, names.m_size, file) == names.m_size;
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok ? TableWriteResult::Saved : TableWriteResult::WriteFailed;
}

// Writes the header and the fields over the start of a stream that has been read
// from, then closes it, whatever happens.
TableWriteResult MaterialTableIo::WriteAtStartAndClose(std::FILE* file, const MaterialTable& names)
{
#if defined(_WIN32)
    if (std::fseek(file, 0, SEEK_SET) != 0) {  // also turns the stream from reading to writing
        std::fclose(file);
        return TableWriteResult::WriteFailed;  // nothing written
    }
    return WriteAndClose(file, names);
#else
    // One positioned write of the whole table, past the stream: it spares the seek that
    // turning the stream to writing takes, a tenth of a rename's time over a pack. The
    // stream's read-ahead is left unused and its closing writes nothing.
    // The usual table is put together on the stack, a larger one in the heap.
    const std::size_t size = kHeaderSize + names.m_size;
    char small[kStreamBuffer];
    std::vector<char> large(size > sizeof small ? size : 0);
    char* const table = size > sizeof small ? large.data() : small;
    EncodeInt32(kMaterialTableVersion, reinterpret_cast<unsigned char*>(table));
    EncodeInt32(static_cast<std::int32_t>(names.size()), reinterpret_cast<unsigned char*>(table) + 4);
    std::memcpy(table + kHeaderSize, names.m_fields, names.m_size);
    const int fd = fileno(file);
    std::size_t done = 0;
    bool ok = fd >= 0;
    while (ok && done < size) {
        const ssize_t written = ::pwrite(fd, table + done, size - done, off_t(done));
        ok = written > 0;
        done += ok ? std::size_t(written) : 0;
    }
    ok = std::fclose(file) == 0 && ok;
    return ok ? TableWriteResult::Saved : TableWriteResult::WriteFailed;
#endif
}

TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names)
{
    names.clear();
    // The stream's buffer is given, so the usual table arrives with one read call and
    // the runtime need not stat the file to size a buffer of its own.
    char buffer[kStreamBuffer];
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return TableReadResult::CannotOpen;
    const std::unique_ptr<std::FILE, FileCloser> closer(file);
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
    return MaterialTableIo::Read(file, names);
}

namespace {

// True when the stream, just after the header, still holds count whole fields. A table
// that fits the stream's buffer is already there after the header's read, so reading its
// fields costs no system call; a larger one is judged by the file's length, which costs
// one seek instead of reading the whole table again before writing it.
bool HoldsFields(std::FILE* file, std::int32_t count)
{
    const std::uint64_t fields = std::uint64_t(count) * kMaterialNameSize;
    char scratch[kStreamBuffer];
    if (TableSize(count) > sizeof scratch) {
        std::uint64_t size = 0;
        return FileSize(file, size) && size >= TableSize(count);
    }
    return std::fread(scratch, 1, static_cast<std::size_t>(fields), file) == fields;
}

}  // namespace

TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names)
{
    char buffer[kStreamBuffer];
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return TableWriteResult::CannotOpenForWriting;
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
    if (names.empty()) {
        std::fclose(file);
        return TableWriteResult::NoMaterials;
    }

    // The names were read from this file earlier; another program may have rewritten it
    // since. Only the same table shape may be written over: a different count would
    // overwrite model data or lengthen a shorter file.
    const std::int32_t version = ReadInt32(file);
    const std::int32_t count = ReadInt32(file);
    const bool sameShape = version == kMaterialTableVersion && count > 0 &&
                           std::uint64_t(count) == names.size() && HoldsFields(file, count);
    if (!sameShape || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return TableWriteResult::TableChanged;
    }

    return MaterialTableIo::WriteAndClose(file, names);
}

TableUpdateResult UpdateMaterialTable(const std::string& path, const TableChange& change)
{
    TableUpdateResult result;
    char buffer[kStreamBuffer];
    // Opened for writing from the start, so a file that is renamed is opened once. A
    // file that cannot be (read-only, immutable, locked by another program) is read all
    // the same: whether it needs writing is only known from its names.
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    const bool writable = file != nullptr;
    if (!writable)
        file = std::fopen(path.c_str(), "rb");
    if (!file)
        return result;
    std::unique_ptr<std::FILE, FileCloser> closer(file);
    std::setvbuf(file, buffer, _IOFBF, sizeof buffer);

    MaterialTable stored, updated;
    result.read = MaterialTableIo::Read(file, stored);
    if (result.read != TableReadResult::Loaded)
        return result;
    result.changed = change(stored, updated) && updated != stored;
    if (!result.changed)
        return result;

    if (!writable)
        result.write = TableWriteResult::CannotOpenForWriting;
    else if (updated.empty())
        result.write = TableWriteResult::NoMaterials;
    else if (updated.size() != stored.size())
        result.write = TableWriteResult::TableChanged;  // would overwrite model data
    else
        result.write = MaterialTableIo::WriteAtStartAndClose(closer.release(), updated);
    return result;
}
