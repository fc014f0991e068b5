// Pieces shared by the runtime's own sources.
#pragma once

#include <ole/automation.h>
#include <ole/ole.hpp>

#include <utility>

namespace ole::interno {

// Size of a value of the scalar type `vt` (VT_I2 -> 2, VT_BSTR -> pointer size, ...);
// 0 for a type without a plain value.
ULONG DimensioneValore(VARTYPE vt) noexcept;

// The Italian description this runtime gives a failed HRESULT of its own.
const char* TestoHresult(HRESULT hr) noexcept;

}  // namespace ole::interno
