// What nodmat needs from the system beyond standard C++: folders and output. One
// implementation for POSIX systems, one for Windows; file paths and names are bytes
// (the ANSI code page's on Windows) in both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Whether a backslash separates folders in a path, as '/' does everywhere.
#if defined(_WIN32)
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif

// Sets the standard streams up; call first.
void Init();

bool IsFolder(const std::string& path);

// Appends the paths below folder, with '/' between their parts, of the regular files
// whose name ends in ".nod" in any case; symbolic links are not followed. Appends each
// folder that cannot be read, as a path below folder, to unreadable ("" is folder itself).
void FindNodFiles(const std::string& folder, std::vector<std::string>& found,
                  std::vector<std::string>& unreadable);

// Windows' own shells leave wildcards to the program: each argument holding * or ? in
// its last part becomes the names matching it in its folder, sorted bytewise, or stays
// as it is when none does. Other systems' shells expand them, so there it returns false.
bool ExpandWildcards(const std::string& argument, std::vector<std::string>& expanded);

// Write to standard output and error. On a Windows console the ANSI bytes are shown as
// the text they are; anywhere else, and when redirected, the bytes go out as they are.
void WriteOut(std::string_view text);
void WriteErr(std::string_view text);

}  // namespace platform
