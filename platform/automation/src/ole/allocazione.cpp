#include "ole/allocazione.h"

#include <cstdlib>

namespace ole {
namespace {

thread_local long tFallimento = -1;

// True when this allocation is the one made to fail.
bool Fallisce() noexcept {
    if (tFallimento < 0) return false;
    return tFallimento-- == 0;
}

}  // namespace

void* AllocaMemoria(std::size_t byte) noexcept { return Fallisce() ? nullptr : std::malloc(byte); }

void* AllocaMemoriaAzzerata(std::size_t byte) noexcept {
    return Fallisce() ? nullptr : std::calloc(1, byte);
}

void* RiallocaMemoria(void* blocco, std::size_t byte) noexcept {
    return Fallisce() ? nullptr : std::realloc(blocco, byte);
}

void LiberaMemoria(void* blocco) noexcept { std::free(blocco); }

long FallisciAllocazione(long dopo) noexcept {
    tFallimento = dopo < 0 ? -1 : dopo;
    return tFallimento;
}

long AllocazioniPrimaDelFallimento() noexcept { return tFallimento; }

}  // namespace ole
