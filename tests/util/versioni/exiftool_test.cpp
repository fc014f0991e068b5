// GetVersione against exiftool's reading of the same files (FileVersionNumber), where
// exiftool is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "pe_prova.h"
#include "util/vqUtilita.h"

namespace {

std::string Exiftool() {
    for (const char* p : {"/usr/bin/exiftool", "/usr/local/bin/exiftool"})
        if (std::filesystem::exists(p)) return p;
    return {};
}

// exiftool's FileVersionNumber of a file, "" when it reports none.
std::string VersioneExiftool(const std::string& exiftool, const std::string& file) {
    const std::string comando = exiftool + " -s3 -FileVersionNumber '" + file + "' 2>/dev/null";
    FILE* f = ::popen(comando.c_str(), "r");
    if (!f) return "?";
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) out += buf;
    ::pclose(f);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST(GetVersione, ComeExiftool) {
    VQ_RICHIEDI_CAMPIONI_PE();
    const std::string exiftool = Exiftool();
    if (exiftool.empty()) GTEST_SKIP() << "exiftool is not installed: no cross-check";
    int confrontati = 0;
    for (const auto& voce : std::filesystem::directory_iterator(prova::pe::Cartella())) {
        const std::string ext = voce.path().extension().string();
        if (ext != ".dll" && ext != ".exe") continue;
        const std::string file = voce.path().string();
        SCOPED_TRACE(file);
        if (file.find('\'') != std::string::npos) continue;  // not quotable as written
        const std::string loro = VersioneExiftool(exiftool, file);
        const std::string nostra = vqUtilita::GetVersione(file);
        EXPECT_EQ(nostra, loro.empty() ? "0.0.0.0" : loro);
        ++confrontati;
    }
    EXPECT_GE(confrontati, 17);
}

}  // namespace
