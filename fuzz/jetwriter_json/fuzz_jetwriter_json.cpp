// Any text given to jet-writer either fails with a numbered error or becomes a database.
#include "jetwriter/jetwriter.h"

#include <vq/errore.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t n) {
    static const std::filesystem::path uscita =
        std::filesystem::temp_directory_path() /
        ("fuzz-jetwriter-" + std::to_string(::getpid()) + ".mdb");
    try {
        const jetwriter::Specifica s =
            jetwriter::SpecificaDaJson(std::string_view(reinterpret_cast<const char*>(dati), n));
        std::size_t righe = 0;
        for (const auto& t : s.tabelle) righe += t.righe.size();
        if (righe <= 2000) jetwriter::Scrivi(s, uscita);
    } catch (const vq::Errore& e) {
        if (e.numero() == 0 || e.descrizione().empty()) __builtin_trap();
    }
    return 0;
}
