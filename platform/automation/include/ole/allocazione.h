// The runtime's allocator: every BSTR, array descriptor, array data block and task-memory
// block (the storage of collections' texts and variants among them) comes from here, so a
// process has one allocator for them, and the failure of any of those allocations can be
// provoked on purpose to test the E_OUTOFMEMORY paths of their callers.
#pragma once

#include <cstddef>

#include "ole/automation.h"

namespace ole {

VQ_OLE_EXPORT void* AllocaMemoria(std::size_t byte) noexcept;                  // malloc
VQ_OLE_EXPORT void* AllocaMemoriaAzzerata(std::size_t byte) noexcept;          // calloc
VQ_OLE_EXPORT void* RiallocaMemoria(void* blocco, std::size_t byte) noexcept;  // realloc
VQ_OLE_EXPORT void LiberaMemoria(void* blocco) noexcept;                       // free

// For tests: on the calling thread, the allocation `dopo` allocations from now (0: the
// next one) fails, once, as a full memory would make it fail; a negative value turns the
// failure off. Returns how many allocations are still to come before the failure (a
// negative number once it has happened or when none is set).
VQ_OLE_EXPORT long FallisciAllocazione(long dopo) noexcept;
VQ_OLE_EXPORT long AllocazioniPrimaDelFallimento() noexcept;

}  // namespace ole
