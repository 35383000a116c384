// Names as nodmat reads and writes them on a command line, in a map file and in its
// output: raw bytes, except that control bytes, 0x7F and the backslash are written \xHH,
// so that any name fits on one line and can be given back.
#pragma once

#include "nodfile/material_table.h"

#include <bitset>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

// Writes name, escaped, to out, which has room for kMaxEscapedPerByte bytes per byte
// of name; returns the end of what it wrote.
constexpr std::size_t kMaxEscapedPerByte = 4;
char* WriteEscaped(char* out, std::string_view name);

// Accepts \xHH (any byte, either case) and \\; false for any other backslash sequence.
bool Unescape(std::string_view text, std::string& name);

// Why a NEW cannot be stored in a field, or nullptr when it can.
const char* NewNameProblem(std::string_view name);

// Old name to new name, all applied at once: a name is replaced at most once, so two
// pairs A->B and B->A swap them.
class RenameMap {
public:
    // False when old is already in the map.
    bool Add(std::string old, std::string replacement);
    // The table after the renames, and how many names it changed.
    std::size_t Apply(const MaterialTable& names, MaterialTable& renamed) const;

private:
    std::map<std::string, std::string, std::less<>> m_pairs;
    // Lengths and first bytes of the old names: most names of a table match neither, and
    // are passed over without a search of the map.
    std::bitset<kMaterialNameSize + 1> m_lengths;
    std::bitset<256> m_firstBytes;
};

// Parses a map file's text: OLD<TAB>NEW a line, blank lines and lines starting with #
// skipped. On a bad line returns false and says why in error, with the line number.
bool ParseMap(std::string_view text, RenameMap& map, std::string& error);
