// Bytes of NOD files for the tests: a material table (version, count, 32-byte name
// fields) and whatever model data follows it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

constexpr std::size_t kNameField = 32;

std::string Le32(std::int32_t value);
// A name as its zero-padded field; a name of more than 32 bytes is a fixture error.
std::string NameField(const std::string& name);
// Version 7, the count of names, then one field per name.
std::string NodTable(const std::vector<std::string>& names);
// The 128 bytes 0x80-0xFF as four 32-byte names, in order.
std::vector<std::string> HighByteNames();

}  // namespace e2e
