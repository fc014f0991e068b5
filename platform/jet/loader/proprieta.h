// Checks on the property blobs of the catalog before libmdb parses them.
#pragma once

#include <cstddef>

namespace vqjet {

// True when every length in the property blob is consistent: libmdb's parser then ends
// and reads only inside the blob.
bool ProprietaValide(const void* blob, std::size_t lunghezza);

}  // namespace vqjet
