// The numbered error a call raises, for tests that check failures by number.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "vq/errore.h"

namespace prova {

// The error the call raised, or nothing when it returned normally. A raised error always
// carries a description.
template <class F>
std::optional<vq::Errore> ErroreDi(F&& f) {
    try {
        f();
    } catch (const vq::Errore& e) {
        EXPECT_FALSE(e.descrizione().empty()) << "errore " << e.numero() << " senza descrizione";
        return e;
    }
    return std::nullopt;
}

// Its number; 0 when no error was raised.
template <class F>
std::int32_t NumeroErrore(F&& f) {
    const auto e = ErroreDi(f);
    return e ? e->numero() : 0;
}

}  // namespace prova
