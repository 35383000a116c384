#include "nod_fixture.h"

#include <stdexcept>

namespace e2e {

std::string Le32(std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

std::string NameField(const std::string& name) {
    if (name.size() > kNameField) throw std::logic_error("fixture name longer than a field");
    return name + std::string(kNameField - name.size(), '\0');
}

std::string NodTable(const std::vector<std::string>& names) {
    std::string out = Le32(7) + Le32(static_cast<std::int32_t>(names.size()));
    for (const auto& n : names) out += NameField(n);
    return out;
}

std::vector<std::string> HighByteNames() {
    std::vector<std::string> names;
    for (int first = 0x80; first < 0x100; first += 32) {
        std::string n;
        for (int b = first; b < first + 32; ++b) n += static_cast<char>(b);
        names.push_back(n);
    }
    return names;
}

}  // namespace e2e
