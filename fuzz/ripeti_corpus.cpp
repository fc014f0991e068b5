// Replays inputs through a fuzz target's entry point without libFuzzer, so that the
// normal test run (with any compiler, with or without sanitizers) keeps every input of
// the corpora passing: a crash once fixed stays fixed. Arguments: files or folders (read
// recursively, in name order).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t dimensione);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> file;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const auto& voce : fs::recursive_directory_iterator(p))
                if (voce.is_regular_file()) file.push_back(voce.path());
        } else if (fs::is_regular_file(p)) {
            file.push_back(p);
        } else {
            std::fprintf(stderr, "%s: non trovato\n", argv[i]);
            return 2;
        }
    }
    std::sort(file.begin(), file.end());
    if (file.empty()) {
        std::fprintf(stderr, "nessun ingresso da ripetere\n");
        return 2;
    }
    for (const fs::path& f : file) {
        std::ifstream in(f, std::ios::binary);
        const std::vector<char> byte((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
        std::fprintf(stderr, "%s (%zu byte)\n", f.c_str(), byte.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(byte.data()), byte.size());
    }
    std::printf("%zu ingressi ripetuti\n", file.size());
    return 0;
}
