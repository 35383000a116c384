#include "platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>

// The C runtime must not expand wildcards itself: the program does, by its own rules.
extern "C" {
int _dowildcard = 0;
}

namespace platform {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsInNod(const char* name)
{
    const std::size_t length = std::strlen(name);
    return length >= 4 && _stricmp(name + length - 4, ".nod") == 0;
}

// Wildcard match as cmd.exe's: * any run, ? any one byte, letters in any case. Matching
// the long names ourselves avoids "*.nod" also taking "x.node" by its short 8.3 name.
bool Matches(const char* pattern, const char* name)
{
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern == '?' || (*pattern && LowerAscii(*pattern) == LowerAscii(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// Calls visit(name, attributes) for each entry of folder but "." and "..".
template <typename Visit>
bool ForEachEntry(const std::string& folder, Visit visit)
{
    const char last = folder.empty() ? ':' : folder.back();
    const std::string pattern = folder + (last == '\\' || last == '/' || last == ':' ? "*" : "\\*");
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty drive root
    do {
        if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
            visit(data.cFileName, data.dwFileAttributes);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}

void Walk(const std::string& folder, const std::string& below, std::vector<std::string>& found,
          std::vector<std::string>& unreadable)
{
    const bool read = ForEachEntry(below.empty() ? folder : folder + "/" + below,
        [&](const char* name, DWORD attributes) {
            // Symbolic links and junctions are reparse points: not followed.
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return;
            const std::string child = below.empty() ? name : below + "/" + name;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY)
                Walk(folder, child, found, unreadable);
            else if (EndsInNod(name))
                found.push_back(child);
        });
    if (!read)
        unreadable.push_back(below);
}

// Console output is shown as the ANSI text it is, whatever the console's code page.
void Write(DWORD which, FILE* stream, std::string_view text)
{
    const HANDLE handle = GetStdHandle(which);
    DWORD mode;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        DWORD written;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

void Init()
{
    // Redirected output carries the bytes as on other systems, lines ending in LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void FindNodFiles(const std::string& folder, std::vector<std::string>& found,
                  std::vector<std::string>& unreadable)
{
    Walk(folder, "", found, unreadable);
}

bool ExpandWildcards(const std::string& argument, std::vector<std::string>& expanded)
{
    const std::size_t cut = argument.find_last_of("\\/:");
    const std::size_t partAt = cut == std::string::npos ? 0 : cut + 1;
    const std::string pattern = argument.substr(partAt);
    if (pattern.find_first_of("*?") == std::string::npos)
        return false;
    const std::string prefix = argument.substr(0, partAt);
    std::string folder = prefix.empty() ? "." : prefix;
    std::vector<std::string> names;
    ForEachEntry(folder, [&](const char* name, DWORD) {
        if (Matches(pattern.c_str(), name))
            names.push_back(name);
    });
    if (names.empty())
        return false;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        expanded.push_back(prefix + name);
    return true;
}

void WriteOut(std::string_view text) { Write(STD_OUTPUT_HANDLE, stdout, text); }
void WriteErr(std::string_view text) { Write(STD_ERROR_HANDLE, stderr, text); }

}  // namespace platform
