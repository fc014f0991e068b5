// Fuzz the user-dirs.dirs reader: any content, any name; the answer, when there is one,
// is the home folder or below it, or an absolute path.
#include "interno.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view testo(reinterpret_cast<const char*>(data), size);
    const std::string home = "/home/prova";
    for (const char* nome : {"DOCUMENTS", "DESKTOP", "PICTURES", "PUBLICSHARE", ""}) {
        const auto v = vq::utilita::ValoreUserDirs(testo, nome, home);
        if (!v) continue;
        if (v->empty() || v->front() != '/') std::abort();
        if (v->size() > 1 && v->back() == '/') std::abort();
        if (v->size() > size + home.size()) std::abort();
    }
    return 0;
}
