// JSON text for engine values: one object per row, keyed by field name.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jet/valore.h"

namespace jetsql {

// A JSON string literal (UTF-8 kept, control characters escaped; invalid UTF-8 bytes
// become U+FFFD so that the output is always valid JSON).
std::string StringaJson(std::string_view s);

// A value: dates "YYYY-MM-DDTHH:MM:SS" (null when outside the automation range),
// currency as a decimal string with 4 decimals trimmed ("12.5", "-0.01", "3"),
// booleans true/false, Null null, numbers in the shortest exact form, binary data as
// a hexadecimal string.
std::string ValoreJson(const jet::Valore& v);

// {"campo":valore,...} in the order of the fields.
std::string RigaJson(const std::vector<std::pair<std::string, jet::Valore>>& riga);

}  // namespace jetsql
