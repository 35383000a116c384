#include "names.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\'; }

}  // namespace

char* WriteEscaped(char* out, std::string_view name)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (NeedsEscape(u)) {
            out[0] = '\\';
            out[1] = 'x';
            out[2] = kHex[u >> 4];
            out[3] = kHex[u & 15];
            out += 4;
        } else {
            *out++ = c;
        }
    }
    return out;
}

bool Unescape(std::string_view text, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && HexValue(text[i + 2]) >= 0 &&
                   HexValue(text[i + 3]) >= 0) {
            name += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

const char* NewNameProblem(std::string_view name)
{
    if (name.size() > kMaterialNameSize)
        return "is longer than 32 bytes";
    if (name.find('\0') != std::string_view::npos)
        return "holds a zero byte";
    return nullptr;
}

bool RenameMap::Add(std::string old, std::string replacement)
{
    // An old name longer than a field can never match.
    if (old.size() <= kMaterialNameSize) {
        m_lengths.set(old.size());
        m_firstBytes.set(old.empty() ? 0 : static_cast<unsigned char>(old[0]));
    }
    return m_pairs.emplace(std::move(old), std::move(replacement)).second;
}

std::size_t RenameMap::Apply(const MaterialTable& names, MaterialTable& renamed) const
{
    // A copy of the whole table, then the few names that change: most names of a
    // table match no pair.
    renamed = names;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        const auto found = m_lengths[name.size()] && m_firstBytes[name.empty() ? 0 : static_cast<unsigned char>(name[0])]
                               ? m_pairs.find(name)
                               : m_pairs.end();
        if (found != m_pairs.end() && found->second != name) {
            renamed.set(i, found->second);
            ++changed;
        }
    }
    return changed;
}

bool ParseMap(std::string_view text, RenameMap& map, std::string& error)
{
    std::map<std::string, std::size_t> firstLines;  // each OLD and the line it is on
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        // A carriage return in a name is written \x0D, so a raw one ends a CR LF line.
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;

        const std::string where = std::to_string(lineNumber) + ": ";
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) {
            error = where + "not exactly one tab between OLD and NEW";
            return false;
        }
        std::string old, replacement;
        if (!Unescape(line.substr(0, tab), old) || !Unescape(line.substr(tab + 1), replacement)) {
            error = where + "bad escape (use \\xHH or \\\\)";
            return false;
        }
        if (const char* problem = NewNameProblem(replacement)) {
            error = where + "NEW " + problem;
            return false;
        }
        const auto [first, isNew] = firstLines.emplace(old, lineNumber);
        if (!isNew) {
            error = where + "OLD given twice (first on line " + std::to_string(first->second) + ")";
            return false;
        }
        map.Add(std::move(old), std::move(replacement));
    }
    return true;
}
