#include "material_table.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::size_t kHeaderSize = 8;

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

// A field holds the name's bytes up to its first zero, or all of it when it has none.
std::string NameFromField(const unsigned char* field)
{
    const void* zero = std::memchr(field, 0, kMaterialNameSize);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - field)
             : kMaterialNameSize;
    return std::string(reinterpret_cast<const char*>(field), length);
}

// A missing tail of the field reads as zeros, as an unread integer would.
std::int32_t ReadInt32(std::FILE* file)
{
    unsigned char bytes[4] = {};
    std::fread(bytes, 1, sizeof bytes, file);
    return DecodeInt32(bytes);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

namespace {

TableReadResult ReadNames(std::FILE* file, MaterialTable& names)
{
    if (ReadInt32(file) != kMaterialTableVersion)
        return TableReadResult::NotValid;
    const std::int32_t count = ReadInt32(file);
    if (count <= 0)
        return TableReadResult::NoMaterials;

    // The table's bytes are read first, in chunks, so that memory grows only with what
    // the file really holds: a count larger than the file costs no more than the file.
    const std::uint64_t tableBytes = std::uint64_t(count) * kMaterialNameSize;
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<unsigned char> fields;
    while (fields.size() < tableBytes) {
        const std::size_t want = static_cast<std::size_t>(
            tableBytes - fields.size() < kChunk ? tableBytes - fields.size() : kChunk);
        const std::size_t at = fields.size();
        fields.resize(at + want);
        if (std::fread(fields.data() + at, 1, want, file) != want)
            return TableReadResult::NotValid;
    }

    MaterialTable read;
    read.reserve(static_cast<std::size_t>(count));
    for (std::size_t at = 0; at < fields.size(); at += kMaterialNameSize)
        read.push_back(NameFromField(fields.data() + at));
    names.swap(read);
    return TableReadResult::Loaded;
}

}  // namespace

TableReadResult ReadMaterialTable(const std::string& path, MaterialTable& names)
{
    names.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return TableReadResult::CannotOpen;
    const std::unique_ptr<std::FILE, FileCloser> closer(file);
    try {
        return ReadNames(file, names);
    } catch (const std::bad_alloc&) {
        // A table too large for this process's memory cannot be shown or saved either.
        names.clear();
        return TableReadResult::NotValid;
    }
}

TableWriteResult WriteMaterialTable(const std::string& path, const MaterialTable& names)
{
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file)
        return TableWriteResult::CannotOpenForWriting;
    if (names.empty()) {
        std::fclose(file);
        return TableWriteResult::NoMaterials;
    }

    // The whole table goes out in one write from one buffer: zero-filled, so every field
    // is padded and any bytes that stood after a name's first zero are cleared.
    std::vector<unsigned char> table(kHeaderSize + names.size() * kMaterialNameSize, 0);
    EncodeInt32(kMaterialTableVersion, table.data());
    EncodeInt32(static_cast<std::int32_t>(names.size()), table.data() + 4);
    unsigned char* field = table.data() + kHeaderSize;
    for (const std::string& name : names) {
        std::memcpy(field, name.data(), name.size() < kMaterialNameSize ? name.size() : kMaterialNameSize);
        field += kMaterialNameSize;
    }

    bool ok = std::fwrite(table.data(), 1, table.size(), file) == table.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    return ok ? TableWriteResult::Saved : TableWriteResult::WriteFailed;
}
