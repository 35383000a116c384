// nodmat: lists and renames the material names of many NOD files from the command line,
// with the dialog's rules: the table is written in place, only when a name changes.
#include "names.h"
#include "nodfile/material_table.h"
#include "platform.h"
#include "version.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kUsage[] =
    "usage: nodmat list [--quiet] PATH...\n"
    "       nodmat rename [--dry-run] [--quiet] OLD NEW PATH...\n"
    "       nodmat rename [--dry-run] [--quiet] --map MAPFILE PATH...\n"
    "       nodmat set [--dry-run] FILE POSITION NEW\n"
    "       nodmat --help | --version\n";

enum class Command { List, Rename, Set };

// The arguments, checked: nothing here needs a NOD file to be read.
struct Options {
    Command command = Command::List;
    bool quiet = false;
    bool dryRun = false;
    std::vector<std::string> paths;  // wildcards expanded on Windows
    bool singleFile = false;         // one PATH, not a folder or a wildcard: list leaves it out
    RenameMap renames;               // rename
    std::string position;            // set: as given, for the message
    long long index = 0;             // set: from 1; 0 when outside any table
    std::string newName;             // set
};

struct UsageError {
    std::string reason;
};

// Standard output is collected and written in large blocks: listing a pack prints a line
// per name. It is flushed before anything goes to standard error, so a terminal shows
// both in order.
class Output {
public:
    ~Output() { Flush(); }
    std::string& Buffer() { return m_buffer; }
    void LineDone()
    {
        if (m_buffer.size() >= 64 * 1024)
            Flush();
    }
    void Flush()
    {
        platform::WriteOut(m_buffer);
        m_buffer.clear();
    }
    void Error(const std::string& path, const char* text)
    {
        Flush();
        platform::WriteErr(path + ": " + text + "\n");
    }

private:
    std::string m_buffer;
};

const char* ReadFailureText(TableReadResult result)
{
    switch (result) {
    case TableReadResult::CannotOpen:
        return "Could not open file.";
    case TableReadResult::NotValid:
        return "Not a valid NOD file.";
    case TableReadResult::NoMaterials:
        return "This file does not contain any materials.";
    case TableReadResult::Loaded:
        break;
    }
    return nullptr;
}

const char* WriteFailureText(TableWriteResult result)
{
    switch (result) {
    case TableWriteResult::NoMaterials:
        return "No materials to save.";
    case TableWriteResult::CannotOpenForWriting:
        return "Could not open file for writing (is the file on Read-Only?).";
    case TableWriteResult::WriteFailed:
        return "Could not write file.";
    case TableWriteResult::TableChanged:
        return "The file has changed since it was opened. Nothing was saved.";
    case TableWriteResult::Saved:
        break;
    }
    return nullptr;
}

std::string UnescapeArgument(const char* what, const std::string& text)
{
    std::string name;
    if (!Unescape(text, name))
        throw UsageError{std::string("bad escape in ") + what + " (use \\xHH or \\\\): " + text};
    return name;
}

std::string CheckedNewName(const std::string& text)
{
    std::string name = UnescapeArgument("NEW", text);
    if (const char* problem = NewNameProblem(name))
        throw UsageError{std::string("NEW ") + problem + ": " + text};
    return name;
}

// A decimal number, sign allowed; one beyond any table's size counts as outside it.
bool ParsePosition(const std::string& text, long long& index)
{
    const std::size_t digitsAt = !text.empty() && text[0] == '-' ? 1 : 0;
    if (digitsAt == text.size() ||
        text.find_first_not_of("0123456789", digitsAt) != std::string::npos)
        return false;
    index = 0;
    if (digitsAt == 0)
        for (std::size_t i = 0; i < text.size() && index <= 0x7FFFFFFF; ++i)
            index = index * 10 + (text[i] - '0');
    return true;
}

std::string ReadMapFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw UsageError{"cannot read the map file " + path};
    std::string text;
    char block[16384];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed)
        throw UsageError{"cannot read the map file " + path};
    return text;
}

// Returns 0 to go on, or -1 when --help or --version has been answered.
int ParseArguments(int argc, char** argv, Options& options)
{
    if (argc < 2)
        throw UsageError{"missing command"};
    const std::string command = argv[1];
    if (command == "--help") {
        platform::WriteOut(kUsage);
        return -1;
    }
    if (command == "--version") {
        platform::WriteOut("nodmat " PALVANE_VERSION "\n");
        return -1;
    }
    if (command == "list")
        options.command = Command::List;
    else if (command == "rename")
        options.command = Command::Rename;
    else if (command == "set")
        options.command = Command::Set;
    else
        throw UsageError{"unknown command: " + command};

    // Options may stand anywhere before "--", so "rename A B pack --dry-run" is still dry.
    std::vector<std::string> operands;
    std::string mapFile;
    bool haveMap = false;
    bool optionsEnd = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help") {
            platform::WriteOut(kUsage);
            return -1;
        } else if (arg == "--quiet" && options.command != Command::Set) {
            options.quiet = true;
        } else if (arg == "--dry-run" && options.command != Command::List) {
            options.dryRun = true;
        } else if (arg == "--map" && options.command == Command::Rename) {
            if (++i == argc)
                throw UsageError{"--map needs a MAPFILE"};
            mapFile = argv[i];
            haveMap = true;
        } else {
            throw UsageError{"unknown option for " + command + ": " + arg};
        }
    }

    std::size_t pathsAt = 0;
    if (options.command == Command::Rename) {
        if (haveMap) {
            if (operands.empty())
                throw UsageError{"missing PATH"};
            std::string error;
            if (!ParseMap(ReadMapFile(mapFile), options.renames, error))
                throw UsageError{mapFile + ":" + error};
        } else {
            if (operands.size() < 2)
                throw UsageError{operands.empty() ? "missing OLD" : "missing NEW"};
            options.renames.Add(UnescapeArgument("OLD", operands[0]), CheckedNewName(operands[1]));
            pathsAt = 2;
        }
    } else if (options.command == Command::Set) {
        static const char* const kNames[] = {"missing FILE", "missing POSITION", "missing NEW"};
        if (operands.size() < 3)
            throw UsageError{kNames[operands.size()]};
        if (operands.size() > 3)
            throw UsageError{"too many arguments: " + operands[3]};
        if (!ParsePosition(operands[1], options.index))
            throw UsageError{"POSITION is not a number: " + operands[1]};
        options.position = operands[1];
        options.newName = CheckedNewName(operands[2]);
        operands.resize(1);
    }
    if (pathsAt >= operands.size())
        throw UsageError{"missing PATH"};

    bool expandedAny = false;
    for (std::size_t i = pathsAt; i < operands.size(); ++i) {
        if (platform::ExpandWildcards(operands[i], options.paths))
            expandedAny = true;
        else
            options.paths.push_back(operands[i]);
    }
    if (options.command == Command::Set && options.paths.size() > 1)
        throw UsageError{"FILE matches more than one file: " + operands[0]};
    options.singleFile = options.paths.size() == 1 && !expandedAny && !platform::IsFolder(options.paths[0]);
    return 0;
}

struct Totals {
    std::size_t files = 0, renamed = 0, unchanged = 0, failed = 0;
};

void AppendCount(std::string& out, std::size_t n)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void ReportRenamed(const std::string& path, std::size_t changed, std::size_t total, const Options& options,
                   Output& out, Totals& totals)
{
    ++totals.renamed;
    if (options.quiet)
        return;
    std::string& line = out.Buffer();
    line.append(path).append(options.dryRun ? ": would rename " : ": renamed ");
    AppendCount(line, changed);
    line.append(" of ");
    AppendCount(line, total);
    line.push_back('\n');
    out.LineDone();
}

// Prints every name of a file, one line each.
void ListNames(const std::string& path, const MaterialTable& names, const Options& options, Output& out)
{
    if (options.quiet)
        return;
    // Every line of the file at once, into room for the longest lines possible: the
    // path and a tab, a position of up to 20 digits, a tab, the name, a line end.
    std::string& text = out.Buffer();
    const std::size_t at = text.size();
    const std::size_t prefix = options.singleFile ? 0 : path.size() + 1;
    const std::size_t longestLine = prefix + 20 + 1 + kMaxEscapedPerByte * kMaterialNameSize + 1;
    text.resize(at + names.size() * longestLine);
    char* p = text.data() + at;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (prefix) {
            p = std::copy(path.begin(), path.end(), p);
            *p++ = '\t';
        }
        p = std::to_chars(p, p + 20, i + 1).ptr;
        *p++ = '\t';
        p = WriteEscaped(p, names[i]);
        *p++ = '\n';
    }
    text.resize(static_cast<std::size_t>(p - text.data()));
    out.LineDone();
}

// What a rename or set makes of one file's names: the new table and how many names
// it changed, or false when the file has no such position.
bool Rename(const MaterialTable& names, const Options& options, MaterialTable& renamed, std::size_t& changed)
{
    changed = 0;
    if (options.command == Command::Rename) {
        changed = options.renames.Apply(names, renamed);
        return true;
    }
    if (options.index < 1 || static_cast<unsigned long long>(options.index) > names.size())
        return false;
    const auto at = static_cast<std::size_t>(options.index - 1);
    renamed = names;
    renamed.set(at, options.newName);
    changed = names[at] != options.newName;
    return true;
}

void NoPosition(const std::string& path, const Options& options, Output& out, Totals& totals)
{
    ++totals.failed;
    out.Error(path, ("No material at position " + options.position + ".").c_str());
}

// Reads, decides, writes if a name changed, and reports one file. list and --dry-run
// only read: they never open a file for writing.
void HandleFile(const std::string& path, const Options& options, Output& out, Totals& totals)
{
    ++totals.files;
    if (options.command != Command::List && !options.dryRun) {
        // One opening per file: the table is read and, when a name changes, written
        // back through the same stream.
        bool outside = false;
        std::size_t changed = 0, total = 0;
        const TableUpdateResult update =
            UpdateMaterialTable(path, [&](const MaterialTable& names, MaterialTable& renamed) {
                total = names.size();
                outside = !Rename(names, options, renamed, changed);
                return !outside && changed > 0;
            });
        if (update.read != TableReadResult::Loaded) {
            ++totals.failed;
            out.Error(path, ReadFailureText(update.read));
        } else if (outside) {
            NoPosition(path, options, out, totals);
        } else if (!update.changed) {
            ++totals.unchanged;
        } else if (update.write != TableWriteResult::Saved) {
            ++totals.failed;
            out.Error(path, WriteFailureText(update.write));
        } else {
            ReportRenamed(path, changed, total, options, out, totals);
        }
        return;
    }

    MaterialTable names;
    const TableReadResult read = ReadMaterialTable(path, names);
    if (read != TableReadResult::Loaded) {
        ++totals.failed;
        out.Error(path, ReadFailureText(read));
        return;
    }
    if (options.command == Command::List) {
        ListNames(path, names, options, out);
        return;
    }
    MaterialTable renamed;
    std::size_t changed = 0;
    if (!Rename(names, options, renamed, changed))
        NoPosition(path, options, out, totals);
    else if (changed == 0)
        ++totals.unchanged;
    else
        ReportRenamed(path, changed, names.size(), options, out, totals);
}

void HandlePath(const std::string& path, const Options& options, Output& out, Totals& totals)
{
    if (!platform::IsFolder(path)) {
        HandleFile(path, options, out, totals);
        return;
    }
    if (options.command == Command::Set) {
        ++totals.files;
        ++totals.failed;
        out.Error(path, ReadFailureText(TableReadResult::CannotOpen));
        return;
    }
    std::vector<std::string> found, unreadable;
    platform::FindNodFiles(path, found, unreadable);
    // Files and unreadable folders in one bytewise order; the flag tells them apart.
    std::vector<std::pair<std::string, bool>> entries;
    for (std::string& below : found)
        entries.emplace_back(std::move(below), false);
    for (std::string& below : unreadable)
        entries.emplace_back(std::move(below), true);
    std::sort(entries.begin(), entries.end());

    const char last = path.back();
    const bool separated = last == '/' || (platform::kBackslashSeparates && last == '\\');
    for (const auto& [below, isFolder] : entries) {
        const std::string full = below.empty() ? path : path + (separated ? "" : "/") + below;
        if (isFolder) {
            ++totals.files;
            ++totals.failed;
            out.Error(full, ReadFailureText(TableReadResult::CannotOpen));
        } else {
            HandleFile(full, options, out, totals);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    platform::Init();
    Options options;
    try {
        if (ParseArguments(argc, argv, options) != 0)
            return 0;
    } catch (const UsageError& error) {
        platform::WriteErr("nodmat: " + error.reason + "\n" + kUsage);
        return 2;
    }

    Totals totals;
    Output out;
    for (const std::string& path : options.paths)
        HandlePath(path, options, out, totals);

    if (options.command != Command::List) {
        std::string& line = out.Buffer();
        AppendCount(line, totals.files);
        line.append(" files: ");
        AppendCount(line, totals.renamed);
        line.append(options.dryRun ? " would be renamed, " : " renamed, ");
        AppendCount(line, totals.unchanged);
        line.append(" unchanged, ");
        AppendCount(line, totals.failed);
        line.append(" failed\n");
    }
    out.Flush();
    return totals.failed ? 1 : 0;
}
