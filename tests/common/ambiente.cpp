// Gives every test program the locations of the checkout and of the shared test material,
// unless the environment already names them: the same whether ctest or a person runs it.
#include <cstdlib>

namespace {
struct AmbienteProve {
    AmbienteProve() {
        setenv("VQ_SOURCE_DIR", VQ_SOURCE_DIR_PREDEFINITA, 0);
        setenv("VQ_SHARED_DIR", VQ_SHARED_DIR_PREDEFINITA, 0);
    }
} ambiente;
}  // namespace
