#include "nodfile/material_table.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

// Failures show the names, not the bytes of the object.
void PrintTo(const MaterialTable& table, std::ostream* os)
{
    *os << "{";
    for (std::size_t i = 0; i < table.size(); ++i)
        *os << (i ? ", \"" : "\"") << table[i] << "\"";
    *os << "}";
}
// The write's outcome counts only when a write was due.
bool operator==(const TableUpdateResult& a, const TableUpdateResult& b)
{
    return a.read == b.read && a.changed == b.changed && (!a.changed || a.write == b.write);
}

void PrintTo(const TableUpdateResult& r, std::ostream* os)
{
    *os << "{read " << int(r.read) << ", changed " << r.changed << ", write " << int(r.write) << "}";
}
using Bytes = std::string;

namespace {

Bytes Int32(std::uint32_t v)
{
    return Bytes{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// A name field exactly as the file stores it: the given bytes, then zeros up to 32.
Bytes Field(const Bytes& content)
{
    Bytes f = content;
    f.resize(kMaterialNameSize, '\0');
    return f;
}

Bytes Table(std::uint32_t version, std::uint32_t count, const std::vector<Bytes>& fields)
{
    Bytes b = Int32(version) + Int32(count);
    for (const Bytes& f : fields)
        b += f;
    return b;
}

const Bytes kModelData = Bytes("\x01\x02\x00\xFF model data \x00\x07", 18) + Bytes(1000, '\x5A');

class MaterialTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               ("palvane-unit-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Make(const Bytes& content, const std::string& name = "model.nod")
    {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    static Bytes Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir_;
};

struct ReadCase {
    const char* what;
    Bytes file;
    TableReadResult result;
    MaterialTable names;
};

TEST_F(MaterialTableTest, ReadOutcomes)
{
    const Bytes full(32, 'M');
    const std::vector<ReadCase> cases = {
        {"empty file", "", TableReadResult::NotValid, {}},
        {"version 6", Table(6, 1, {Field("a")}), TableReadResult::NotValid, {}},
        {"version 7 big-endian", Table(0x07000000, 1, {Field("a")}), TableReadResult::NotValid, {}},
        {"three bytes that make 7", Bytes("\x07\x00\x00", 3), TableReadResult::NoMaterials, {}},
        {"count 0", Table(7, 0, {}) + kModelData, TableReadResult::NoMaterials, {}},
        {"count -1", Table(7, 0xFFFFFFFF, {Field("a")}), TableReadResult::NoMaterials, {}},
        {"count INT_MIN", Table(7, 0x80000000, {Field("a")}), TableReadResult::NoMaterials, {}},
        {"count 2, no fields", Table(7, 2, {}), TableReadResult::NotValid, {}},
        {"count 2, one and a half fields", Table(7, 2, {Field("a")}) + Bytes(16, 'b'),
         TableReadResult::NotValid, {}},
        {"count ends inside the field", Bytes("\x07\x00\x00\x00\x01", 5), TableReadResult::NotValid, {}},
        {"huge count, small file", Table(7, 0x7FFFFFFF, {Field("a"), Field("b")}),
         TableReadResult::NotValid, {}},
        {"one name, nothing after", Table(7, 1, {Field("steel")}), TableReadResult::Loaded, {"steel"}},
        {"names then model data",
         Table(7, 4, {Field("wood"), Field(""), full, Field(Bytes("abc\0xyz", 7))}) + kModelData,
         TableReadResult::Loaded, {"wood", "", full, "abc"}},
        {"high bytes", Table(7, 1, {Field("\x80\x81\x8D\x8F\x90\x9D\xE9\xFF")}), TableReadResult::Loaded,
         {"\x80\x81\x8D\x8F\x90\x9D\xE9\xFF"}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        MaterialTable names = {"left over"};
        EXPECT_EQ(ReadMaterialTable(Make(c.file), names), c.result);
        EXPECT_EQ(names, c.names);
    }
}

TEST_F(MaterialTableTest, ReadMissingFileCannotOpen)
{
    MaterialTable names;
    EXPECT_EQ(ReadMaterialTable((dir_ / "absent.nod").string(), names), TableReadResult::CannotOpen);
    EXPECT_EQ(ReadMaterialTable("", names), TableReadResult::CannotOpen);
    EXPECT_EQ(ReadMaterialTable(dir_.string(), names), TableReadResult::NotValid)
        << "a directory opens on Linux but holds no table";
    EXPECT_TRUE(names.empty());
}

struct WriteCase {
    const char* what;
    Bytes before;
    MaterialTable names;
    Bytes after;
};

TEST_F(MaterialTableTest, WriteReplacesOnlyTheTable)
{
    const Bytes full(32, '\xC4');
    const std::vector<WriteCase> cases = {
        {"same names back", Table(7, 3, {Field("wood"), full, Field("")}) + kModelData,
         {"wood", full, ""}, Table(7, 3, {Field("wood"), full, Field("")}) + kModelData},
        {"garbage after a zero is cleared", Table(7, 2, {Field(Bytes("abc\0xyz", 7)), Field("b")}) + kModelData,
         {"abc", "b"}, Table(7, 2, {Field("abc"), Field("b")}) + kModelData},
        {"renamed middle entry", Table(7, 3, {Field("a"), Field("bb"), Field("c")}) + kModelData,
         {"a", "a much longer name than before", "c"},
         Table(7, 3, {Field("a"), Field("a much longer name than before"), Field("c")}) + kModelData},
        {"cleared name", Table(7, 2, {Field("first"), Field("second")}) + kModelData, {"first", ""},
         Table(7, 2, {Field("first"), Field("")}) + kModelData},
        {"high bytes", Table(7, 1, {Field("\x80\x81\x8D\x8F\x90\x9D\xFF")}) + kModelData,
         {"\x80\x81\x8D\x8F\x90\x9D\xFF"}, Table(7, 1, {Field("\x80\x81\x8D\x8F\x90\x9D\xFF")}) + kModelData},
        {"a longer name is cut to its field", Table(7, 1, {Field("x")}) + kModelData, {Bytes(40, 'L')},
         Table(7, 1, {Bytes(32, 'L')}) + kModelData},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Make(c.before);
        EXPECT_EQ(WriteMaterialTable(path, c.names), TableWriteResult::Saved);
        EXPECT_EQ(Contents(path), c.after);
        EXPECT_EQ(fs::file_size(path), c.before.size());
    }
}

TEST_F(MaterialTableTest, ReadThenWriteIsByteExact)
{
    const Bytes original =
        Table(7, 3, {Field("plain"), Bytes(32, '\xFE'), Field("\x81\x8D")}) + kModelData;
    const std::string path = Make(original);
    MaterialTable names;
    ASSERT_EQ(ReadMaterialTable(path, names), TableReadResult::Loaded);
    ASSERT_EQ(WriteMaterialTable(path, names), TableWriteResult::Saved);
    EXPECT_EQ(Contents(path), original);
    MaterialTable again;
    ASSERT_EQ(ReadMaterialTable(path, again), TableReadResult::Loaded);
    EXPECT_EQ(again, names);
}

TEST_F(MaterialTableTest, EmptySequenceWritesNothing)
{
    const Bytes original = Table(7, 1, {Field("keep")}) + kModelData;
    const std::string path = Make(original);
    EXPECT_EQ(WriteMaterialTable(path, {}), TableWriteResult::NoMaterials);
    EXPECT_EQ(Contents(path), original);
}

TEST_F(MaterialTableTest, CannotOpenForWritingCreatesNothing)
{
    const fs::path absent = dir_ / "absent.nod";
    EXPECT_EQ(WriteMaterialTable(absent.string(), {"a"}), TableWriteResult::CannotOpenForWriting);
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(WriteMaterialTable("", {"a"}), TableWriteResult::CannotOpenForWriting);
}

// Root may write a mode-0444 file, so an unwritable file must be made immutable.
TEST_F(MaterialTableTest, ImmutableFileIsLeftAsItWas)
{
    const Bytes original = Table(7, 1, {Field("keep")}) + kModelData;
    const std::string path = Make(original);
    const std::string lock = "chattr +i '" + path + "' 2>/dev/null";
    if (std::system(lock.c_str()) != 0)
        GTEST_SKIP() << "this file system cannot make a file immutable";
    const auto result = WriteMaterialTable(path, {"other"});
    std::system(("chattr -i '" + path + "'").c_str());
    EXPECT_EQ(result, TableWriteResult::CannotOpenForWriting);
    EXPECT_EQ(Contents(path), original);
}

// A write that fails part-way must not be reported as saved. A file-size limit below the
// table's end makes the kernel refuse the write, whatever the file system; the child
// process keeps the limit away from the rest of the tests.
TEST_F(MaterialTableTest, FailedWriteIsReported)
{
    MaterialTable many;
    for (int i = 0; i < 5000; ++i)
        many.push_back(Bytes(32, 'x'));
    struct Case {
        const char* what;
        MaterialTable names;
        rlim_t limit;
    };
    const std::vector<Case> cases = {
        {"one name, fails at the flush", {"a"}, 16},
        {"a table larger than the stream's buffer", many, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Bytes> fields(c.names.size(), Field("old"));
        const Bytes original = Table(7, std::uint32_t(c.names.size()), fields) + kModelData;
        const std::string path = Make(original);
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {c.limit, c.limit};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(static_cast<int>(WriteMaterialTable(path, c.names)));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(static_cast<TableWriteResult>(WEXITSTATUS(status)), TableWriteResult::WriteFailed);
        EXPECT_EQ(fs::file_size(path), original.size());
    }
}

// A table the file really holds but this process's memory cannot: reading reports the file
// as not valid instead of ending the program. The child process keeps the address-space
// limit away from the rest of the tests; the file is sparse, so it costs no disk. A stream
// that cannot seek (a pipe) has its storage regrown while reading, which must fail as
// safely; a table well under the limit shows the limit alone does not make reading fail.
TEST_F(MaterialTableTest, TableLargerThanMemoryIsNotValid)
{
    constexpr rlim_t kLimit = rlim_t(256) << 20;
    constexpr std::uint32_t kFitting = (64u << 20) / kMaterialNameSize;
    constexpr std::uint32_t kTooLarge = (512u << 20) / kMaterialNameSize;
    struct Case {
        const char* what;
        std::uint32_t count;
        bool pipe;
        TableReadResult result;
    };
    const std::vector<Case> cases = {
        {"fits, from a file", kFitting, false, TableReadResult::Loaded},
        {"too large, from a file", kTooLarge, false, TableReadResult::NotValid},
        {"fits, from a pipe", kFitting, true, TableReadResult::Loaded},
        {"too large, from a pipe", kTooLarge, true, TableReadResult::NotValid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes header = Int32(7) + Int32(c.count);
        const std::uint64_t length = header.size() + std::uint64_t(c.count) * kMaterialNameSize;
        std::string path;
        pid_t writer = -1;
        if (!c.pipe) {
            path = Make(header);
            ASSERT_EQ(truncate(path.c_str(), off_t(length)), 0);
        } else {
            path = (dir_ / "table.pipe").string();
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            writer = fork();
            ASSERT_NE(writer, -1);
            if (writer == 0) {
                // The reader stops early on a table too large, so a broken pipe ends this.
                std::signal(SIGPIPE, SIG_IGN);
                const int fd = open(path.c_str(), O_WRONLY);
                const Bytes zeros(1 << 20, '\0');
                bool writing = fd >= 0 && write(fd, header.data(), header.size()) == ssize_t(header.size());
                for (std::uint64_t left = length - header.size(); writing && left > 0;) {
                    const std::size_t n = left < zeros.size() ? std::size_t(left) : zeros.size();
                    writing = write(fd, zeros.data(), n) == ssize_t(n);
                    left -= n;
                }
                _exit(0);
            }
        }
        const pid_t reader = fork();
        ASSERT_NE(reader, -1);
        if (reader == 0) {
            const rlimit limit = {kLimit, kLimit};
            setrlimit(RLIMIT_AS, &limit);
            MaterialTable names;
            const TableReadResult result = ReadMaterialTable(path, names);
            const bool complete = result != TableReadResult::Loaded || names.size() == c.count;
            _exit(complete ? static_cast<int>(result) : 99);
        }
        int status = 0;
        ASSERT_EQ(waitpid(reader, &status, 0), reader);
        if (writer != -1) {
            int writerStatus = 0;
            ASSERT_EQ(waitpid(writer, &writerStatus, 0), writer);
        }
        fs::remove(path);
        EXPECT_TRUE(WIFEXITED(status)) << "the reader ended by signal " << WTERMSIG(status);
        if (WIFEXITED(status))
            EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.result));
    }
}

struct ChangedCase {
    const char* what;
    Bytes file;
};

// The names were read from a table of three; the file was rewritten since.
TEST_F(MaterialTableTest, ChangedTableIsNotWritten)
{
    const MaterialTable names = {"one", "two", "three"};
    const std::vector<ChangedCase> cases = {
        {"fewer names", Table(7, 2, {Field("a"), Field("b")}) + kModelData},
        {"more names", Table(7, 5, std::vector<Bytes>(5, Field("n"))) + kModelData},
        {"other version", Table(8, 3, {Field("a"), Field("b"), Field("c")}) + kModelData},
        {"negative count", Table(7, 0xFFFFFFFD, {Field("a"), Field("b"), Field("c")}) + kModelData},
        {"cut inside the table", Table(7, 3, {Field("a"), Field("b")}) + Bytes(31, 'c')},
        {"cut inside the header", Bytes("\x07\x00\x00", 3)},
        {"empty file", ""},
    };
    for (const ChangedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Make(c.file);
        EXPECT_EQ(WriteMaterialTable(path, names), TableWriteResult::TableChanged);
        EXPECT_EQ(Contents(path), c.file);
    }
}

// Re-exporting the same model keeps the count: the renames go over the new export's
// names and its new model data keeps every byte.
TEST_F(MaterialTableTest, SameCountRewrittenFileIsSaved)
{
    const Bytes otherData = Bytes("new export \x00\x01\x02", 14) + Bytes(3000, '\x33');
    const std::string path = Make(Table(7, 2, {Field("exported"), Field(Bytes(32, 'E'))}) + otherData);
    EXPECT_EQ(WriteMaterialTable(path, {"renamed", "second"}), TableWriteResult::Saved);
    EXPECT_EQ(Contents(path), Table(7, 2, {Field("renamed"), Field("second")}) + otherData);
}

// The size check must see the whole length of a file over 4 GiB.
TEST_F(MaterialTableTest, SameCountFileOver4GiBIsSaved)
{
    const std::string path = Make(Table(7, 2, {Field("a"), Field("b")}));
    const std::uint64_t length = (std::uint64_t(1) << 32) + 4096;
    const Bytes marker = "end of the model";
    {
        std::FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fseeko(f, off_t(length - marker.size()), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(marker.data(), 1, marker.size(), f), marker.size());
        ASSERT_EQ(std::fclose(f), 0);
    }
    EXPECT_EQ(WriteMaterialTable(path, {"x", "y"}), TableWriteResult::Saved);
    EXPECT_EQ(fs::file_size(path), length);
    MaterialTable names;
    EXPECT_EQ(ReadMaterialTable(path, names), TableReadResult::Loaded);
    EXPECT_EQ(names, MaterialTable({"x", "y"}));
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(length - marker.size()));
    Bytes tail(marker.size(), '\0');
    in.read(tail.data(), std::streamsize(tail.size()));
    EXPECT_EQ(tail, marker);
}


// set replaces a whole field: a shorter name leaves no bytes of the longer one behind.
TEST_F(MaterialTableTest, SetReplacesTheWholeField)
{
    MaterialTable names = {"a longer name", "b", "c"};
    names.set(0, "short");
    names.set(1, Bytes("cut\0here", 8));
    names.set(2, Bytes(40, 'L'));
    EXPECT_EQ(names, MaterialTable({"short", "cut", Bytes(32, 'L')}));
}

// A change that renames every name equal to from, as a rename across files does.
TableChange Renaming(const std::string& from, const std::string& to, int* calls = nullptr)
{
    return [=](const MaterialTable& stored, MaterialTable& updated) {
        if (calls)
            ++*calls;
        for (std::size_t i = 0; i < stored.size(); ++i)
            updated.push_back(stored[i] == from ? std::string_view(to) : stored[i]);
        return true;
    };
}

struct UpdateCase {
    const char* what;
    Bytes before;
    TableChange change;
    TableUpdateResult expected;
    Bytes after;  // empty: the file keeps its bytes and its time
};

// The table is read and, only when the change gives other names, written back over the
// stored table: the model data and the file's length stay, an unchanged file is not
// even written (its time stays).
TEST_F(MaterialTableTest, UpdateWritesOnlyAChangedTable)
{
    const Bytes three = Table(7, 3, {Field("wood"), Field(Bytes("abc\0xyz", 7)), Field("wood")}) + kModelData;
    std::vector<Bytes> manyFields(5000, Field("x"));
    const Bytes many = Table(7, 5000, manyFields) + kModelData;
    manyFields[4999] = Field("last");
    const TableUpdateResult loaded{TableReadResult::Loaded, false, TableWriteResult::Saved};
    const TableUpdateResult saved{TableReadResult::Loaded, true, TableWriteResult::Saved};
    const auto notWanted = [](const MaterialTable&, MaterialTable& updated) {
        updated.push_back("other");
        return false;
    };
    const auto count = [](std::size_t n) {
        return [n](const MaterialTable& stored, MaterialTable& updated) {
            for (std::size_t i = 0; i < n; ++i)
                updated.push_back(i < stored.size() ? "n" : "extra");
            return true;
        };
    };
    const std::vector<UpdateCase> cases = {
        {"renamed", three, Renaming("wood", "oak"), saved,
         Table(7, 3, {Field("oak"), Field("abc"), Field("oak")}) + kModelData},
        {"a table past the stream's buffer and the read chunk", many, Renaming("", "never"), loaded, ""},
        {"the last of 5000 names", many,
         [](const MaterialTable& stored, MaterialTable& updated) {
             for (std::size_t i = 0; i < stored.size(); ++i)
                 updated.push_back(i + 1 == stored.size() ? "last" : stored[i]);
             return true;
         },
         saved, Table(7, 5000, manyFields) + kModelData},
        {"no name matches", three, Renaming("metal", "iron"), loaded, ""},
        {"renamed to itself", three, Renaming("wood", "wood"), loaded, ""},
        // The stored table's garbage after a zero is not a name: no change, no write.
        {"same names", three, Renaming("abc", "abc"), loaded, ""},
        {"change declined", three, notWanted, loaded, ""},
        {"fewer names", three, count(2), {TableReadResult::Loaded, true, TableWriteResult::TableChanged}, ""},
        {"more names", three, count(4), {TableReadResult::Loaded, true, TableWriteResult::TableChanged}, ""},
        {"no names", three, count(0), {TableReadResult::Loaded, true, TableWriteResult::NoMaterials}, ""},
        {"version 6", Table(6, 1, {Field("wood")}) + kModelData, Renaming("wood", "oak"),
         {TableReadResult::NotValid}, ""},
        {"count 0", Table(7, 0, {}) + kModelData, Renaming("wood", "oak"), {TableReadResult::NoMaterials}, ""},
        {"cut inside the table", Table(7, 3, {Field("wood")}), Renaming("wood", "oak"),
         {TableReadResult::NotValid}, ""},
    };
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Make(c.before);
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
        EXPECT_EQ(UpdateMaterialTable(path, c.change), c.expected);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(Contents(path), c.after.empty() ? c.before : c.after);
        EXPECT_EQ(st.st_size, off_t(c.before.size()));
        if (c.after.empty())
            EXPECT_EQ(st.st_mtim.tv_sec, past[0].tv_sec) << "written";
    }
}

TEST_F(MaterialTableTest, UpdateOfWhatCannotBeOpened)
{
    int calls = 0;
    const fs::path absent = dir_ / "absent.nod";
    const TableUpdateResult missing = UpdateMaterialTable(absent.string(), Renaming("a", "b", &calls));
    EXPECT_EQ(missing.read, TableReadResult::CannotOpen);
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(UpdateMaterialTable(dir_.string(), Renaming("a", "b", &calls)).read, TableReadResult::NotValid)
        << "a directory opens for reading on Linux but holds no table";
    EXPECT_EQ(calls, 0);
}

// A file that cannot be opened for writing is still read: it fails only when it needs
// a change. Root may write a mode-0444 file, so the file is made immutable instead.
TEST_F(MaterialTableTest, UpdateOfImmutableFile)
{
    const Bytes original = Table(7, 2, {Field("keep"), Field("wood")}) + kModelData;
    const std::string path = Make(original);
    if (std::system(("chattr +i '" + path + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this file system cannot make a file immutable";
    const TableUpdateResult unchanged = UpdateMaterialTable(path, Renaming("metal", "iron"));
    const TableUpdateResult needed = UpdateMaterialTable(path, Renaming("wood", "oak"));
    std::system(("chattr -i '" + path + "'").c_str());
    EXPECT_EQ(unchanged, (TableUpdateResult{TableReadResult::Loaded, false, TableWriteResult::Saved}));
    EXPECT_EQ(needed, (TableUpdateResult{TableReadResult::Loaded, true, TableWriteResult::CannotOpenForWriting}));
    EXPECT_EQ(Contents(path), original);
}

// As FailedWriteIsReported, through the update: the limit is below the table's end.
TEST_F(MaterialTableTest, UpdateFailedWriteIsReported)
{
    const Bytes original = Table(7, 2, {Field("wood"), Field("stone")}) + kModelData;
    const std::string path = Make(original);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        const TableUpdateResult r = UpdateMaterialTable(path, Renaming("stone", "marble"));
        _exit(r.read == TableReadResult::Loaded && r.changed ? static_cast<int>(r.write) : 100);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(static_cast<TableWriteResult>(WEXITSTATUS(status)), TableWriteResult::WriteFailed);
    EXPECT_EQ(fs::file_size(path), original.size());
    // The first 16 bytes went out before the limit, and they are the same as before.
    EXPECT_EQ(Contents(path), original);
}

}  // namespace
