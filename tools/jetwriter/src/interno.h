// Pieces shared by the writer's sources: text encoding and value conversion.
#pragma once

#include "jetwriter/jetwriter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace jetwriter::interno {

using Byte = std::uint8_t;
using Bytes = std::vector<Byte>;

// Text encoder of one file: UTF-8 in, the file's bytes out (the code page for Jet 3,
// UTF-16LE for Jet 4). Reports the first character it cannot encode.
class Codificatore {
public:
    Codificatore(Formato formato, int codePage);
    ~Codificatore();
    Codificatore(const Codificatore&) = delete;
    Codificatore& operator=(const Codificatore&) = delete;

    // Appends the encoding of `utf8` to `out`; on failure returns false, leaves `out` as
    // it was and sets `problema` to a short Italian explanation naming the character.
    bool Codifica(std::string_view utf8, Bytes& out, std::string& problema);
    // Characters in the sense of the column size: bytes for Jet 3, UTF-16 units for Jet 4.
    std::size_t Unita(std::size_t byteCodificati) const;

private:
    Formato formato_;
    int codePage_;
    void* iconv_ = nullptr;  // iconv_t, Jet 3 only
};

// Number of code points of UTF-8 text (a malformed byte counts as one).
std::size_t ContaCaratteri(std::string_view utf8);

// Value conversions. Each returns false with an Italian explanation in `problema`.
bool ValutaDaTesto(std::string_view testo, std::int64_t& decimillesimi, std::string& problema);
bool ValutaDaDouble(double x, std::int64_t& decimillesimi, std::string& problema);
bool DataDaTesto(const std::string& testo, double& giorni, std::string& problema);

}  // namespace jetwriter::interno
