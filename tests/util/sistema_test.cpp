// Questions about the system: times from seconds, separators, the version text, network
// file systems, volume identities.
#include "errore_prova.h"
#include "file_prova.h"

#include "../../util/src/sistema.h"

#include <util/vqUtilita.h>

#include <vq/data.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(LongToDate, SecondsToTime) {
    struct Caso {
        std::int32_t sec;
        vq::DataOra atteso;
    };
    const Caso casi[] = {
        {0, {1899, 12, 30, 0, 0, 0}},
        {3725, {1899, 12, 30, 1, 2, 5}},
        {90000, {1899, 12, 31, 1, 0, 0}},  // one day and 01:00:00
        {86399, {1899, 12, 30, 23, 59, 59}},
        {-1, {1899, 12, 29, 23, 59, 59}},       // hours rounded down: -1 h + 59 min 59 s
        {117964799, {1903, 9, 26, 7, 59, 59}},  // 32767 hours and the rest
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.sec);
        EXPECT_EQ(vq::ScomponiData(vqUtilita::LongToDate(c.sec)), c.atteso);
    }
    EXPECT_NEAR(vqUtilita::LongToDate(3725), 3725.0 / 86400, 1e-12);
    EXPECT_EQ(prova::NumeroErrore([] { vqUtilita::LongToDate(117964800); }), 6);  // 32768 hours
    EXPECT_EQ(prova::NumeroErrore([] { vqUtilita::LongToDate(INT32_MIN); }), 6);
}

TEST(Separatori, FromTheLocalesConventions) {
    const std::string nessuno;
    struct Caso {
        std::string raggruppamento;
        const char* separatore;
        const char* mille;
        std::uint8_t codice;
    };
    const Caso casi[] = {
        {"\x03\x03", ".", "1.000", 46},            // it_IT
        {"\x03", ",", "1,000", 44},                // en_US: the last group repeats
        {"\x03\x02", ",", "1,000", 44},            // en_IN
        {nessuno, ".", "1000", 0},                 // C: no grouping
        {std::string("\x7f", 1), ",", "1000", 0},  // CHAR_MAX: no grouping
        {"\x04", ".", "1000", 0},                  // groups of four leave 1000 alone
        {"\x02", ".", "10.00", 0},
        {"\x01", ",", "1,0,0,0", 44},
        {"\x03", "\xe2\x80\xaf",
         "1\xe2\x80\xaf"
         "000",
         0},                        // fr_FR: a narrow no-break space
        {"\x03", "'", "1'000", 0},  // de_CH
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.mille);
        const std::string f = vq::utilita::FormattaMille(c.raggruppamento, c.separatore);
        EXPECT_EQ(f, c.mille);
        EXPECT_EQ(vq::utilita::SeparatoreDi(f), c.codice);
    }
    EXPECT_EQ(vq::utilita::SeparatoreDi("1,2"), 44);
    EXPECT_EQ(vq::utilita::SeparatoreDi("1.2"), 46);
    EXPECT_EQ(vq::utilita::SeparatoreDi("1"), 0);
    // The C locale: "." and no thousands separator.
    prova::Ambiente tutto("LC_ALL", std::string("C"));
    EXPECT_EQ(vqUtilita::GetSeparatoreDecimale(), 46);
    EXPECT_EQ(vqUtilita::GetSeparatoreMigliaia(), 0);
}

TEST(InfoSOVersione, NameKernelAndVersion) {
    const std::string debian =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian "
        "GNU/Linux\"\nVERSION_ID=\"12\"\n"
        "VERSION=\"12 (bookworm)\"\nID=debian\n";
    struct Caso {
        std::string osRelease;
        const char* release;
        const char* atteso;
    };
    const Caso casi[] = {
        {debian, "6.1.0-18-amd64", "Debian GNU/Linux 6.1.0 12 (bookworm)"},
        {"NAME=Arch\nVERSION_ID=rolling\n", "6.7.4-arch1-1", "Arch 6.7.4 #1 SMP"},
        {"", "5.15", "Linux 5.15.0 #1 SMP"},
        {"NAME='A \\\"b\\\"'\nVERSION=\"x \\\"y\\\"\"\n", "abc", "A \\\"b\\\" 0.0.0 x \"y\""},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.atteso);
        EXPECT_EQ(vq::utilita::ComponiVersioneSO(c.osRelease, "Linux", c.release, "#1 SMP"),
                  c.atteso);
    }
    // The running system: its kernel's numbers, no Windows edition.
    EXPECT_NE(vqUtilita::InfoSOVersione().find(' '), std::string::npos);
    EXPECT_EQ(vqUtilita::InfoSO(), 0);
    EXPECT_FALSE(vqUtilita::IsWindowsNT());
}

TEST(DirectoryRete, NetworkFileSystems) {
    struct Caso {
        std::int64_t magico;
        const char* tipo;
        bool rete;
    };
    const Caso casi[] = {
        {0x6969, "nfs", true},
        {0xFF534D42, "cifs", true},
        {0xFE534D42, "smb3", true},
        {0x517B, "smbfs", true},
        {0x65735546, "fuse.sshfs", true},
        {0x65735546, "fuse.gvfsd-fuse", true},
        {0x65735546, "fuse.ntfs-3g", false},
        {0xEF53, "ext4", false},
        {0x01021994, "tmpfs", false},
        {0x794C7630, "overlay", false},
    };
    for (const auto& c : casi)
        EXPECT_EQ(vq::utilita::FileSystemDiRete(c.magico, c.tipo), c.rete) << c.tipo;
    EXPECT_FALSE(vqUtilita::DirectoryRete());  // the build folder is local
}

TEST(IsVBEnvironment, DevelopmentExecutables) {
    struct Caso {
        const char* percorso;
        bool sviluppo;
    };
    const Caso casi[] = {
        {"C:\\Programmi\\VB98\\VB6.EXE", true},
        {"vb5cce.exe", true},
        {"/opt/vb/vb32.exe", true},
        {"D:vb.exe", true},
        {"/opt/vq/travasa", false},
        {"vb6.exe.bak", false},
        {"C:\\vb6.exe\\travasa.exe", false},
        {"", false},
    };
    for (const auto& c : casi)
        EXPECT_EQ(vq::utilita::EseguibileAmbienteSviluppo(c.percorso), c.sviluppo) << c.percorso;
    EXPECT_FALSE(vqUtilita::IsVBEnvironment());
}

TEST(GetSerial, TheRootsIdentity) {
    const std::string radice = vqUtilita::GetSerialHD();
    ASSERT_FALSE(radice.empty());
    EXPECT_NO_THROW((void)std::stol(radice));
    EXPECT_EQ(vqUtilita::GetSerialDrive("c"), radice);
    EXPECT_EQ(vqUtilita::GetSerialDrive("C"), radice);
    EXPECT_EQ(vqUtilita::GetSerialDrive(""), "");
    EXPECT_EQ(vqUtilita::GetSerialDrive("cd"), "");
    EXPECT_EQ(vqUtilita::GetSerialDrive("1"), "");
}

}  // namespace
