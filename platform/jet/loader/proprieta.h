// Checks on the property blobs of the catalog before libmdb parses them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vqjet {

// How libmdb will name a property: its bytes as they become a key (text up to the first
// NUL, after the file's conversion).
using NomeProprieta = std::function<std::string(std::string_view byte)>;

// True when every length in the property blob is consistent, so that libmdb's parser ends
// and reads only inside the blob, and no block gives two values to one name (libmdb loses
// the memory of the first). Names are compared as `nome` makes them.
bool ProprietaValide(const void* blob, std::size_t lunghezza, const NomeProprieta& nome);

}  // namespace vqjet
