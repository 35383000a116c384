// End-to-end tests of nodmat: the native program run as a process on fixture trees the
// tests write, checking its exit status, both outputs, which files it opened and how, and
// the bytes, inode and modification time of every file afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

const char kUsage[] =
    "usage: nodmat list [--quiet] PATH...\n"
    "       nodmat rename [--dry-run] [--quiet] OLD NEW PATH...\n"
    "       nodmat rename [--dry-run] [--quiet] --map MAPFILE PATH...\n"
    "       nodmat set [--dry-run] FILE POSITION NEW\n"
    "       nodmat --help | --version\n";

const char kCannotOpen[] = "Could not open file.";
const char kNotValid[] = "Not a valid NOD file.";
const char kNoMaterials[] = "This file does not contain any materials.";
const char kReadOnly[] = "Could not open file for writing (is the file on Read-Only?).";
const char kWriteFailed[] = "Could not write file.";

Bytes Le32(std::uint32_t v) { return Bytes{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Model data with zeros and high bytes, different per file, so a write past the table or
// a swap of files' data shows.
Bytes Model(const Bytes& tag) { return Bytes("\x00\x01\xFF\x7F model ", 12) + tag + Bytes(300, '\xA5'); }

Bytes Table(std::uint32_t version, std::uint32_t count, const std::vector<Bytes>& names)
{
    Bytes b = Le32(version) + Le32(count);
    for (Bytes name : names) {
        name.resize(32, '\0');
        b += name;
    }
    return b;
}

// A NOD file: version 7, the names, and the model data after them.
Bytes Nod(const std::vector<Bytes>& names, const Bytes& tag = "m")
{
    return Table(7, static_cast<std::uint32_t>(names.size()), names) + Model(tag);
}

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Usage(const std::string& reason) { return "nodmat: " + reason + "\n" + kUsage; }

std::string Summary(int files, int renamed, int unchanged, int failed, bool dry = false)
{
    return std::to_string(files) + " files: " + std::to_string(renamed) +
           (dry ? " would be renamed, " : " renamed, ") + std::to_string(unchanged) + " unchanged, " +
           std::to_string(failed) + " failed\n";
}

struct Result {
    int status = -1;
    std::string out, err;
    std::vector<std::pair<std::string, std::string>> opens;  // mode, path
};

struct Launch {
    std::map<std::string, std::string> env;
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

// Runs nodmat in dir with the open-logging shim preloaded; a run over 60 s is killed.
Result RunNodmat(const fs::path& dir, const std::vector<std::string>& args, const Launch& launch = {})
{
    const fs::path log = dir.parent_path() / (dir.filename().string() + ".opens");
    fs::remove(log);
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        ADD_FAILURE() << "pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]), ::close(outPipe[1]), ::close(errPipe[0]), ::close(errPipe[1]);
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        ::setenv("LD_PRELOAD", NODMAT_TEST_SHIM, 1);
        ::setenv("NODMAT_TEST_OPEN_LOG", log.c_str(), 1);
        for (const auto& [name, value] : launch.env)
            ::setenv(name.c_str(), value.c_str(), 1);
        if (launch.fileSizeLimit != RLIM_INFINITY) {
            // Writes at or past the limit then fail with EFBIG instead of a signal.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(NODMAT_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(NODMAT_PATH, argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    Result result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "nodmat ran for over 60 s";
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);

    std::istringstream lines(ReadAll(log));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t tab = line.find('\t');
        result.opens.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return result;
}

// A folder of fixtures under the build tree, fresh for each test, immutable flags undone.
class NodmatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        dir_ = fs::path(NODMAT_TEST_DIR) / name;
        Clear();
        fs::create_directories(dir_);
    }
    void TearDown() override { Clear(); }

    void Clear()
    {
        for (const fs::path& p : immutable_)
            std::system(("chattr -i '" + p.string() + "'").c_str());
        immutable_.clear();
        // What a run cut short left immutable would stop the removal.
        if (fs::exists(dir_))
            std::system(("chattr -R -i '" + dir_.string() + "' 2>/dev/null").c_str());
        fs::remove_all(dir_);
        fs::remove(dir_.parent_path() / (dir_.filename().string() + ".opens"));
    }
    void MakeImmutable(const fs::path& p)
    {
        immutable_.push_back(p);
        ASSERT_EQ(std::system(("chattr +i '" + p.string() + "'").c_str()), 0)
            << "chattr +i needs root and a file system with the immutable flag";
    }

    fs::path dir_;
    std::vector<fs::path> immutable_;
};

// ---------------------------------------------------------------------------------------
// The table of cases: a tree of files, the arguments, and everything expected afterwards.

struct Case {
    const char* name;
    std::map<std::string, Bytes> files;  // path below the case's folder -> bytes
    std::vector<std::string> args;
    int status;
    std::string out, err;
    // Files with new bytes afterwards. Every other file keeps its bytes, inode and time.
    std::map<std::string, Bytes> after;
    // Files whose time may change without a change of bytes (a failed write).
    std::set<std::string> writtenSame;
    std::vector<std::string> immutable;
    std::vector<std::pair<std::string, std::string>> links;  // link -> target
    Launch launch;
};

const std::vector<Bytes> kPack = {"Stone", "Wood", "Stone", "Metal"};

std::vector<Case> Cases()
{
    const Bytes a = Nod(kPack, "a"), b = Nod({"Wood", "Glass"}, "b"), c = Nod({"stone", "Ston", "Stone "}, "c");
    const Bytes twoStones = Nod({"Stone", "Stone"}, "s");
    const Bytes notNod = Nod({"Stone"}, "txt");
    const Bytes name32(32, 'N');
    std::vector<Case> cases;

    // list
    cases.push_back({"list/one-file", {{"a.nod", a}}, {"list", "a.nod"}, 0,
                     "1\tStone\n2\tWood\n3\tStone\n4\tMetal\n", ""});
    cases.push_back({"list/two-files-show-paths", {{"a.nod", a}, {"b.nod", b}}, {"list", "b.nod", "a.nod"}, 0,
                     "b.nod\t1\tWood\nb.nod\t2\tGlass\n"
                     "a.nod\t1\tStone\na.nod\t2\tWood\na.nod\t3\tStone\na.nod\t4\tMetal\n", ""});
    // Nested folders, any case of ".nod", other files, a folder named like a model,
    // symbolic links (not followed), bytewise order of the paths below the folder.
    cases.push_back({"list/folder-walk",
                     {{"pack/b.nod", b}, {"pack/B.NOD", twoStones}, {"pack/a/z.nod", b},
                      {"pack/a.nod", Nod({"A"})}, {"pack/sub/deep/c.Nod", Nod({"Deep"})},
                      {"pack/notes.txt", notNod}, {"pack/a.nod.bak", notNod}, {"pack/dir.nod/in.nod", Nod({"In"})},
                      {"outside/o.nod", Nod({"Outside"})}},
                     {"list", "pack"}, 0,
                     "pack/B.NOD\t1\tStone\npack/B.NOD\t2\tStone\n"
                     "pack/a.nod\t1\tA\n"
                     "pack/a/z.nod\t1\tWood\npack/a/z.nod\t2\tGlass\n"
                     "pack/b.nod\t1\tWood\npack/b.nod\t2\tGlass\n"
                     "pack/dir.nod/in.nod\t1\tIn\n"
                     "pack/sub/deep/c.Nod\t1\tDeep\n", "", {}, {}, {},
                     {{"pack/link.nod", "../outside/o.nod"}, {"pack/linkdir", "../outside"}}});
    cases.push_back({"list/folder-with-slash-and-file", {{"p/x.nod", Nod({"X"})}, {"y.nod", Nod({"Y"})}},
                     {"list", "p/", "y.nod"}, 0, "p/x.nod\t1\tX\ny.nod\t1\tY\n", ""});
    cases.push_back({"list/read-failures-go-on",
                     {{"good.nod", Nod({"G"})}, {"version.nod", Table(6, 1, {"V"}) + Model("v")},
                      {"short.nod", Table(7, 3, {"S1", "S2"})}, {"none.nod", Table(7, 0, {}) + Model("n")},
                      {"negative.nod", Le32(7) + Le32(0xFFFFFFFF) + Model("neg")}, {"tiny.nod", Bytes("\x07\0\0\0\x01\0", 6)},
                      {"later.nod", Nod({"L"})}},
                     {"list", "good.nod", "missing.nod", "version.nod", "short.nod", "none.nod", "negative.nod",
                      "tiny.nod", "later.nod"}, 1,
                     "good.nod\t1\tG\nlater.nod\t1\tL\n",
                     std::string("missing.nod: ") + kCannotOpen + "\nversion.nod: " + kNotValid + "\nshort.nod: " +
                         kNotValid + "\nnone.nod: " + kNoMaterials + "\nnegative.nod: " + kNoMaterials +
                         "\ntiny.nod: " + kNotValid + "\n"});
    cases.push_back({"list/quiet-good", {{"p/a.nod", a}, {"p/b.nod", b}}, {"list", "--quiet", "p"}, 0, "", ""});
    cases.push_back({"list/quiet-bad", {{"p/a.nod", a}, {"p/c.nod", "junk"}}, {"list", "p", "--quiet"}, 1, "",
                     std::string("p/c.nod: ") + kNotValid + "\n"});
    cases.push_back({"list/empty-folder", {{"p/readme.txt", "x"}}, {"list", "p"}, 0, "", ""});

    // rename
    cases.push_back({"rename/across-pack",
                     {{"p/a.nod", a}, {"p/b.nod", b}, {"p/c.nod", c}},
                     {"rename", "Stone", "Marble", "p"}, 0,
                     "p/a.nod: renamed 2 of 4\n" + Summary(3, 1, 2, 0), "",
                     {{"p/a.nod", Nod({"Marble", "Wood", "Marble", "Metal"}, "a")}}});
    cases.push_back({"rename/to-32-bytes-and-empty",
                     {{"a.nod", a}, {"e.nod", Nod({"", "Stone", ""}, "e")}},
                     {"rename", "Stone", name32, "a.nod", "e.nod"}, 0,
                     "a.nod: renamed 2 of 4\ne.nod: renamed 1 of 3\n" + Summary(2, 2, 0, 0), "",
                     {{"a.nod", Nod({name32, "Wood", name32, "Metal"}, "a")}, {"e.nod", Nod({"", name32, ""}, "e")}}});
    cases.push_back({"rename/empty-names", {{"e.nod", Nod({"", "Stone", ""}, "e")}},
                     {"rename", "", "Filled", "e.nod"}, 0, "e.nod: renamed 2 of 3\n" + Summary(1, 1, 0, 0), "",
                     {{"e.nod", Nod({"Filled", "Stone", "Filled"}, "e")}}});
    cases.push_back({"rename/same-name-is-unchanged", {{"a.nod", a}}, {"rename", "Stone", "Stone", "a.nod"}, 0,
                     Summary(1, 0, 1, 0), ""});
    cases.push_back({"rename/dry-run",
                     {{"p/a.nod", a}, {"p/b.nod", b}},
                     {"rename", "Wood", "Oak", "p", "--dry-run"}, 0,
                     "p/a.nod: would rename 1 of 4\np/b.nod: would rename 1 of 2\n" + Summary(2, 2, 0, 0, true), ""});
    // Not even opened for writing: an immutable file would fail that.
    cases.push_back({"rename/dry-run-immutable", {{"a.nod", a}}, {"rename", "--dry-run", "Wood", "Oak", "a.nod"}, 0,
                     "a.nod: would rename 1 of 4\n" + Summary(1, 1, 0, 0, true), "", {}, {}, {"a.nod"}});
    cases.push_back({"rename/quiet", {{"p/a.nod", a}, {"p/b.nod", b}, {"p/x.nod", "bad"}},
                     {"rename", "--quiet", "Wood", "Oak", "p"}, 1, Summary(3, 2, 0, 1),
                     std::string("p/x.nod: ") + kNotValid + "\n",
                     {{"p/a.nod", Nod({"Stone", "Oak", "Stone", "Metal"}, "a")}, {"p/b.nod", Nod({"Oak", "Glass"}, "b")}}});
    // Read all the same: a file that cannot be opened for writing but needs no change
    // is unchanged, not failed.
    cases.push_back({"rename/immutable-unchanged", {{"a.nod", a}, {"b.nod", b}},
                     {"rename", "Metal", "Iron", "b.nod", "a.nod"}, 0,
                     "a.nod: renamed 1 of 4\n" + Summary(2, 1, 1, 0), "",
                     {{"a.nod", Nod({"Stone", "Wood", "Stone", "Iron"}, "a")}}, {}, {"b.nod"}});
    cases.push_back({"rename/immutable-in-the-middle",
                     {{"p/1.nod", a}, {"p/2.nod", a}, {"p/3.nod", a}},
                     {"rename", "Metal", "Iron", "p"}, 1,
                     "p/1.nod: renamed 1 of 4\np/3.nod: renamed 1 of 4\n" + Summary(3, 2, 0, 1),
                     std::string("p/2.nod: ") + kReadOnly + "\n",
                     {{"p/1.nod", Nod({"Stone", "Wood", "Stone", "Iron"}, "a")},
                      {"p/3.nod", Nod({"Stone", "Wood", "Stone", "Iron"}, "a")}},
                     {}, {"p/2.nod"}});
    // A write that fails after the first 100 bytes (the same bytes as before): the rename
    // at position 4 never reaches the file.
    {
        Case failing{"rename/write-fails", {{"a.nod", a}, {"z.nod", b}}, {"rename", "Metal", "Iron", "a.nod", "z.nod"}, 1,
                     Summary(2, 0, 1, 1), std::string("a.nod: ") + kWriteFailed + "\n", {}, {"a.nod"}};
        failing.launch.fileSizeLimit = 100;
        cases.push_back(failing);
    }
    // After "--" everything is an operand: names and paths starting with '-', and a
    // "--dry-run" that is then a file name, so the rename is done.
    cases.push_back({"rename/after-double-dash", {{"-a.nod", Nod({"-x", "y"})}},
                     {"rename", "--", "-x", "-z", "-a.nod", "--dry-run"}, 1,
                     "-a.nod: renamed 1 of 2\n" + Summary(2, 1, 0, 1), std::string("--dry-run: ") + kCannotOpen + "\n",
                     {{"-a.nod", Nod({"-z", "y"})}}});
    cases.push_back({"rename/options-after-operands", {{"a.nod", a}}, {"rename", "Wood", "Oak", "a.nod", "--dry-run"},
                     0, "a.nod: would rename 1 of 4\n" + Summary(1, 1, 0, 0, true), ""});

    // A map: a swap, CR LF, comments, blank lines, escapes, an unused pair.
    cases.push_back({"rename/map-swap",
                     {{"p/a.nod", a}, {"p/t.nod", Nod({"Tab\tName", "Wood", "Glass"}, "t")},
                      {"map.txt", "# swap stone and wood\n\nStone\tWood\r\nWood\tStone\nTab\\x09Name\tBack\\\\slash\n"
                                  "Unused\tX\n"}},
                     {"rename", "--map", "map.txt", "p"}, 0,
                     "p/a.nod: renamed 3 of 4\np/t.nod: renamed 2 of 3\n" + Summary(2, 2, 0, 0), "",
                     {{"p/a.nod", Nod({"Wood", "Stone", "Wood", "Metal"}, "a")},
                      {"p/t.nod", Nod({"Back\\slash", "Stone", "Glass"}, "t")}}});

    // set
    cases.push_back({"set/position", {{"a.nod", a}}, {"set", "a.nod", "4", "Iron"}, 0,
                     "a.nod: renamed 1 of 4\n" + Summary(1, 1, 0, 0), "",
                     {{"a.nod", Nod({"Stone", "Wood", "Stone", "Iron"}, "a")}}});
    cases.push_back({"set/dry-run", {{"a.nod", a}}, {"set", "--dry-run", "a.nod", "1", "Iron"}, 0,
                     "a.nod: would rename 1 of 4\n" + Summary(1, 1, 0, 0, true), ""});
    cases.push_back({"set/same-name", {{"a.nod", a}}, {"set", "a.nod", "2", "Wood"}, 0, Summary(1, 0, 1, 0), ""});
    for (const char* position : {"0", "5", "-1", "99999999999999999999"})
        cases.push_back({"set/outside", {{"a.nod", a}}, {"set", "--", "a.nod", position, "Iron"}, 1, Summary(1, 0, 0, 1),
                         std::string("a.nod: No material at position ") + position + ".\n"});
    cases.push_back({"set/read-failure", {{"a.nod", "junk"}}, {"set", "a.nod", "1", "Iron"}, 1, Summary(1, 0, 0, 1),
                     std::string("a.nod: ") + kNotValid + "\n"});
    cases.push_back({"set/folder", {{"p/a.nod", a}}, {"set", "p", "1", "Iron"}, 1, Summary(1, 0, 0, 1),
                     std::string("p: ") + kCannotOpen + "\n"});

    // Help, version and usage errors: nothing read, nothing written.
    cases.push_back({"help", {{"a.nod", a}}, {"--help"}, 0, kUsage, ""});
    cases.push_back({"version", {}, {"--version"}, 0, "nodmat 1.0.0.1\n", ""});
    const std::vector<std::pair<std::vector<std::string>, std::string>> usage = {
        {{}, "missing command"},
        {{"move", "a.nod"}, "unknown command: move"},
        {{"list", "-q", "a.nod"}, "unknown option for list: -q"},
        {{"list", "--dry-run", "a.nod"}, "unknown option for list: --dry-run"},
        {{"set", "--quiet", "a.nod", "1", "X"}, "unknown option for set: --quiet"},
        {{"list"}, "missing PATH"},
        {{"rename", "Stone"}, "missing NEW"},
        {{"rename", "Stone", "Marble"}, "missing PATH"},
        {{"rename", "a.nod", "--map"}, "--map needs a MAPFILE"},
        {{"rename", "--map", "map.txt"}, "missing PATH"},
        {{"rename", "St\\one", "X", "a.nod"}, "bad escape in OLD (use \\xHH or \\\\): St\\one"},
        {{"rename", "Stone", "X\\", "a.nod"}, "bad escape in NEW (use \\xHH or \\\\): X\\"},
        {{"rename", "Stone", "X\\x4", "a.nod"}, "bad escape in NEW (use \\xHH or \\\\): X\\x4"},
        {{"rename", "Stone", "X\\xg0", "a.nod"}, "bad escape in NEW (use \\xHH or \\\\): X\\xg0"},
        {{"rename", "Stone", Bytes(33, 'L'), "a.nod"}, "NEW is longer than 32 bytes: " + Bytes(33, 'L')},
        {{"rename", "Stone", Bytes(31, 'L') + "\\x5C\\x5C", "a.nod"},
         "NEW is longer than 32 bytes: " + Bytes(31, 'L') + "\\x5C\\x5C"},
        {{"rename", "Stone", "A\\x00B", "a.nod"}, "NEW holds a zero byte: A\\x00B"},
        {{"set", "a.nod", "1"}, "missing NEW"},
        {{"set", "a.nod", "one", "X"}, "POSITION is not a number: one"},
        {{"set", "a.nod", "1x", "X"}, "POSITION is not a number: 1x"},
        {{"set", "a.nod", "1", "X", "b.nod"}, "too many arguments: b.nod"},
        {{"set", "a.nod", "1", Bytes(33, 'L')}, "NEW is longer than 32 bytes: " + Bytes(33, 'L')},
        {{"rename", "--map", "nomap.txt", "a.nod"}, "cannot read the map file nomap.txt"},
        {{"rename", "--map", "notab.txt", "a.nod"}, "notab.txt:3: not exactly one tab between OLD and NEW"},
        {{"rename", "--map", "twotabs.txt", "a.nod"}, "twotabs.txt:1: not exactly one tab between OLD and NEW"},
        {{"rename", "--map", "twice.txt", "a.nod"}, "twice.txt:4: OLD given twice (first on line 2)"},
        {{"rename", "--map", "escape.txt", "a.nod"}, "escape.txt:1: bad escape (use \\xHH or \\\\)"},
        {{"rename", "--map", "long.txt", "a.nod"}, "long.txt:2: NEW is longer than 32 bytes"},
        {{"rename", "--map", "zero.txt", "a.nod"}, "zero.txt:1: NEW holds a zero byte"},
    };
    const std::map<std::string, Bytes> maps = {
        {"a.nod", a},
        {"notab.txt", "A\tB\n# fine\nC D\n"},
        {"twotabs.txt", "A\tB\tC\n"},
        {"twice.txt", "\nStone\tX\nWood\tY\nStone\tZ\n"},
        {"escape.txt", "A\\q\tB\n"},
        {"long.txt", "A\tB\nC\t" + Bytes(33, 'D') + "\n"},
        {"zero.txt", "A\tB\\x00\n"},
    };
    for (const auto& [args, reason] : usage)
        cases.push_back({"usage", maps, args, 2, "", Usage(reason)});
    return cases;
}

struct FileState {
    Bytes bytes;
    ino_t inode;
};

TEST_F(NodmatTest, Cases)
{
    // A time well in the past, so that any write shows in the modification time.
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        Clear();
        fs::create_directories(dir_);
        std::map<std::string, FileState> before;
        for (const auto& [path, bytes] : c.files) {
            WriteAll(dir_ / path, bytes);
            ASSERT_EQ(::utimensat(AT_FDCWD, (dir_ / path).c_str(), past, 0), 0);
            struct stat st;
            ::stat((dir_ / path).c_str(), &st);
            before[path] = {bytes, st.st_ino};
        }
        for (const auto& [link, target] : c.links)
            fs::create_symlink(target, dir_ / link);
        for (const std::string& path : c.immutable)
            MakeImmutable(dir_ / path);

        const Result r = RunNodmat(dir_, c.args, c.launch);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);

        // Files opened for writing. A rename or set opens every file it reads that way,
        // to write a changed table through the same opening; list and --dry-run never
        // open one for writing, and a usage error reads nothing but the map file.
        std::set<std::string> writes;
        for (const auto& [mode, path] : r.opens) {
            if (mode.find('+') != std::string::npos || mode[0] == 'w' || mode[0] == 'a')
                writes.insert(path);
            if (c.status == 2)
                EXPECT_NE(path.substr(path.size() - 4), ".nod") << "opened " << path;
        }
        const auto optionsEnd = std::find(c.args.begin(), c.args.end(), "--");
        const bool dryRun = std::find(c.args.begin(), optionsEnd, "--dry-run") != optionsEnd;
        const bool mayWrite = !c.args.empty() && (c.args[0] == "rename" || c.args[0] == "set") && !dryRun;
        if (!mayWrite)
            EXPECT_EQ(writes, std::set<std::string>{});
        // Files whose modification time may change: the renamed ones, and those whose
        // write failed. Any other file opened for writing must not have been written:
        // even a write of the same bytes would show in its time.
        std::set<std::string> expectedWrites = c.writtenSame;
        for (const auto& [path, bytes] : c.after) {
            expectedWrites.insert(path);
            EXPECT_TRUE(writes.count(path)) << path << " changed but was not opened for writing";
        }

        for (const auto& [path, state] : before) {
            SCOPED_TRACE(path);
            const auto renamed = c.after.find(path);
            EXPECT_EQ(ReadAll(dir_ / path), renamed != c.after.end() ? renamed->second : state.bytes);
            struct stat st;
            ASSERT_EQ(::stat((dir_ / path).c_str(), &st), 0);
            EXPECT_EQ(st.st_ino, state.inode);
            if (!expectedWrites.count(path))
                EXPECT_EQ(st.st_mtim.tv_sec, past[1].tv_sec) << "rewritten";
        }
    }
}

// Names with tabs, backslashes, control bytes, high bytes and 32 bytes: list prints each
// on one line, and its text given back as OLD (on the command line or in a map) finds it.
TEST_F(NodmatTest, EscapesRoundTrip)
{
    std::vector<Bytes> names = {"Tab\there", "Back\\slash", "x\\x41", Bytes("\x01\x1F\x7F", 3), "CR\rLF\n",
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", Bytes(31, 'a') + "\\", " spaced "};
    for (int first = 0x80; first < 0x100; first += 32) {
        Bytes high;
        for (int b = first; b < first + 32; ++b)
            high += static_cast<char>(b);
        names.push_back(high);
    }
    const Bytes original = Nod(names, "round");
    WriteAll(dir_ / "f.nod", original);

    const Result listed = RunNodmat(dir_, {"list", "f.nod"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> texts;  // the escaped names, in order
    std::istringstream lines(listed.out);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t tab = line.find('\t');
        ASSERT_EQ(line.substr(0, tab), std::to_string(texts.size() + 1));
        texts.push_back(line.substr(tab + 1));
    }
    ASSERT_EQ(texts.size(), names.size());
    EXPECT_EQ(texts[0], "Tab\\x09here");
    EXPECT_EQ(texts[1], "Back\\x5Cslash");
    EXPECT_EQ(texts[2], "x\\x5Cx41");
    EXPECT_EQ(texts[3], "\\x01\\x1F\\x7F");
    EXPECT_EQ(texts[4], "CR\\x0DLF\\x0A");
    EXPECT_EQ(texts[6], Bytes(31, 'a') + "\\x5C");
    EXPECT_EQ(texts[8], names[8]);  // 0x80-0x9F as they are

    // Each listed text as OLD on the command line; NEW with a tab and a backslash too.
    std::vector<Bytes> renamed = names;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string n = std::to_string(i);
        renamed[i] = "N" + n + "\t\\\xE9";
        const Result r = RunNodmat(dir_, {"rename", "--", texts[i], "N" + n + "\\x09\\\\\xE9", "f.nod"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "f.nod: renamed 1 of " + std::to_string(names.size()) + "\n" + Summary(1, 1, 0, 0));
        EXPECT_EQ(ReadAll(dir_ / "f.nod"), Nod(renamed, "round"));
    }

    // And back in one run, by a map built from list's output: the file as it was.
    const Result again = RunNodmat(dir_, {"list", "f.nod"});
    std::istringstream newLines(again.out);
    Bytes map;
    for (std::size_t i = 0; std::getline(newLines, line); ++i)
        map += line.substr(line.find('\t') + 1) + "\t" + texts.at(i) + "\n";
    WriteAll(dir_ / "map.txt", map);
    const Result back = RunNodmat(dir_, {"rename", "--map", "map.txt", "f.nod"});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, "f.nod: renamed " + std::to_string(names.size()) + " of " + std::to_string(names.size()) +
                            "\n" + Summary(1, 1, 0, 0));
    EXPECT_EQ(ReadAll(dir_ / "f.nod"), original);
}

}  // namespace
