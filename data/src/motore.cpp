// The engine of this build. The Jet engine is not wired in yet: opening the host
// database fails as creating an engine that is not installed does, and the object that
// asked stays usable.
#include "database.h"

#include "vq/errore.h"

namespace tessadati {

namespace {

constexpr std::int32_t kErrOggettoNonCreabile = 429;

class MotoreAssente final : public Motore {
public:
    std::string CartellaDati() override {
        vq::Solleva(kErrOggettoNonCreabile);
    }
    std::unique_ptr<Database> Apri(const std::string&, const std::string&) override {
        vq::Solleva(kErrOggettoNonCreabile);
    }
};

}  // namespace

Motore& MotorePredefinito() {
    static MotoreAssente motore;
    return motore;
}

}  // namespace tessadati
