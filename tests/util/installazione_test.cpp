// Registry and installation services on a registry store in a temporary folder:
// component registration, shared counters, servers of classes, uninstall entries,
// associations and shortcuts.
#include "file_prova.h"

#include "../../util/src/registro.h"

#include <util/vqUtilita.h>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Installazione : public ::testing::Test {
protected:
    prova::Cartella tmp;
    prova::Ambiente registro{"VQ_REGISTRO_DIR", tmp / "registro"};
    prova::Ambiente dati{"XDG_DATA_HOME", tmp / "dati"};
    prova::Ambiente config{"XDG_CONFIG_HOME", tmp / "config"};
    prova::Ambiente log{"VQ_PROVA_SERVER_LOG", tmp / "server.log"};

    void SetUp() override { ::mkdir((tmp / "registro").c_str(), 0700); }

    static std::string Leggi(HKEY radice, const std::string& chiave, const std::string& nome) {
        std::string v;
        if (!vq::utilita::LeggiValoreRegistro(radice, chiave, nome, v)) return "<manca>";
        return v;
    }
    static void Crea(HKEY radice, const std::string& chiave) {
        vq::ChiaveAperta h;
        ASSERT_EQ(::RegCreateKeyExA(radice, chiave.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                    h.put(), nullptr),
                  ERROR_SUCCESS);
    }
};

constexpr const char* kCondivisi = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

TEST_F(Installazione, RegistraServerByExtension) {
    const std::string server = VQ_PROVA_SERVER;
    const std::string ocx = tmp / "controllo.ocx";
    const std::string dll = tmp / "COMPONENTE.Dll";
    const std::string senza = tmp / "senza.so";
    ASSERT_EQ(::symlink(server.c_str(), ocx.c_str()), 0);
    ASSERT_EQ(::symlink(server.c_str(), dll.c_str()), 0);
    ASSERT_EQ(::symlink("/lib/x86_64-linux-gnu/libm.so.6", senza.c_str()), 0);
    prova::ScriviFile(tmp / "tipi.tlb", "x");
    const std::string exe = tmp / "server.exe";
    prova::ScriviFile(exe, "#!/bin/sh\necho \"$1\" >> '" + (tmp / "server.log").native() + "'\n");
    ::chmod(exe.c_str(), 0755);
    struct Caso {
        std::string file;
        bool registra;
        bool esito;
        const char* riga;  // what the component noted, or nullptr
    };
    const Caso casi[] = {
        {server, true, true, "register"},
        {server, false, true, "unregister"},
        {ocx, true, true, "register"},  // lower-case ".ocx" is a library too
        {dll, false, true, "unregister"},
        {senza, true, false, nullptr},  // no entry point
        {tmp / "tipi.tlb", true, false, nullptr},
        {tmp / "manca.dll", true, false, nullptr},
        {"a.so", true, false, nullptr},
        {exe, true, true, "/REGSERVER"},
        {exe, false, true, "/UNREGSERVER"},
        {tmp / "manca.exe", true, false, nullptr},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.file + (c.registra ? " +" : " -"));
        ::unlink((tmp / "server.log").c_str());
        EXPECT_EQ(
            c.registra ? vqUtilita::RegistraServer(c.file) : vqUtilita::DeRegistraServer(c.file),
            c.esito);
        EXPECT_EQ(prova::LeggiFile(tmp / "server.log"),
                  c.riga != nullptr ? std::string(c.riga) + "\n" : "");
    }
}

TEST_F(Installazione, SharedCounters) {
    const std::string f = "/opt/vq/comune.so";
    // The key must exist: it is opened, never created.
    EXPECT_FALSE(vqUtilita::SetFileShared(f, true));
    Crea(HKEY_LOCAL_MACHINE, kCondivisi);
    struct Passo {
        const char* nome;
        int azione;  // 1 SetFileShared(true), 0 SetFileShared(false), -1 DecFileShared
        bool esito;
        const char* contatore;
    };
    const Passo passi[] = {
        {"nuovo gia presente", 1, true, "1"},
        {"ancora", 1, true, "2"},
        {"nuovo", 0, true, "3"},
        {"meno", -1, true, "2"},
        {"meno", -1, true, "1"},
        {"a zero", -1, true, "0"},
        {"eliminato", -1, true, "<manca>"},
        {"niente da eliminare", -1, false, "<manca>"},
        {"nuovo non presente", 0, true, "0"},
        {"da zero", 0, true, "1"},
    };
    for (const auto& p : passi) {
        SCOPED_TRACE(p.nome);
        const bool esito = p.azione == -1 ? vqUtilita::DecFileShared(f)
                                          : vqUtilita::SetFileShared(f, p.azione == 1);
        EXPECT_EQ(esito, p.esito);
        EXPECT_EQ(Leggi(HKEY_LOCAL_MACHINE, kCondivisi, f), p.contatore);
    }
}

TEST_F(Installazione, ServersAndUninstallEntries) {
    {
        vq::ChiaveAperta h;
        ::RegCreateKeyExA(HKEY_CLASSES_ROOT, "Tessadati.Archivio\\Clsid", 0, nullptr, 0, KEY_WRITE,
                          nullptr, h.put(), nullptr);
        const char id[] = "{12345678-0000-0000-0000-000000000001}";
        ::RegSetValueExA(h.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(id), sizeof id);
        ::RegCreateKeyExA(HKEY_CLASSES_ROOT,
                          "Clsid\\{12345678-0000-0000-0000-000000000001}\\InprocServer32", 0,
                          nullptr, 0, KEY_WRITE, nullptr, h.put(), nullptr);
        const char percorso[] = "/opt/vq/libtessadati.so";
        ::RegSetValueExA(h.get(), "", 0, REG_SZ, reinterpret_cast<const BYTE*>(percorso),
                         sizeof percorso);
    }
    EXPECT_EQ(vqUtilita::PathServerOcx("Tessadati.Archivio"), "/opt/vq/libtessadati.so");
    EXPECT_EQ(vqUtilita::PathServerExe("Tessadati.Archivio"), "");
    EXPECT_EQ(vqUtilita::PathServerOcx("Nessuno.Archivio"), "");

    EXPECT_FALSE(
        vqUtilita::SetInfoDisinstallazione("Travasa", 1, "Esporta XML", false));  // no entry yet
    EXPECT_EQ(vqUtilita::GetInfoDisinstallazione("Travasa", 1), "");
    const char* nomi[] = {"ApplicationName", "DisplayName", "UninstallString", "AppToUninstall",
                          ""};
    for (std::int16_t i = 0; i < 5; ++i) {
        const std::string valore = "valore " + std::to_string(i);
        EXPECT_TRUE(vqUtilita::SetInfoDisinstallazione("Travasa", i == 4 ? std::int16_t{9} : i,
                                                       valore, true));
        EXPECT_EQ(
            Leggi(HKEY_LOCAL_MACHINE,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Travasa", nomi[i]),
            valore);
        EXPECT_EQ(vqUtilita::GetInfoDisinstallazione("Travasa", i == 4 ? std::int16_t{-1} : i),
                  valore);
    }
}

TEST_F(Installazione, AssociationQuotedAndOnTheDesktop) {
    const std::string programma = tmp / "Programmi VQ/travasa";
    EXPECT_TRUE(vqUtilita::CreaAssociazione(programma, ".vqx"));
    EXPECT_EQ(Leggi(HKEY_CLASSES_ROOT, ".vqx", ""), "");
    EXPECT_EQ(Leggi(HKEY_CLASSES_ROOT, ".vqx\\Shell\\Open\\Command", ""),
              "\"" + programma + "\" \"%1\"");
    EXPECT_EQ(Leggi(HKEY_CLASSES_ROOT, ".vqx\\DefaultIcon", ""), programma + ",0");
    const std::string mime = prova::LeggiFile(tmp / "dati/mime/packages/vq-vqx.xml");
    EXPECT_NE(mime.find("<mime-type type=\"application/x-vq-vqx\">"), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.vqx\"/>"), std::string::npos);
    const std::string voce = prova::LeggiFile(tmp / "dati/applications/vq-vqx.desktop");
    EXPECT_NE(voce.find("\nExec=\"" + programma + "\" %f\n"), std::string::npos) << voce;
    EXPECT_NE(voce.find("\nMimeType=application/x-vq-vqx;\n"), std::string::npos);
    // An extension that no file name can carry still gets its registry keys.
    EXPECT_TRUE(vqUtilita::CreaAssociazione(programma, ".a/b"));
    EXPECT_EQ(Leggi(HKEY_CLASSES_ROOT, ".a/b\\Shell\\Open\\Command", ""),
              "\"" + programma + "\" \"%1\"");
}

TEST_F(Installazione, ShortcutsAsDesktopEntries) {
    const std::string programma = tmp / "Programmi VQ/tra$vasa";
    ::mkdir((tmp / "Programmi VQ").c_str(), 0755);
    prova::ScriviFile(programma, "#!/bin/sh\n");
    ::chmod(programma.c_str(), 0755);
    const std::string lnk = tmp / "Esporta XML.lnk";
    EXPECT_TRUE(vqUtilita::CreaCollegamento(lnk, programma, "/home/u/dati"));
    EXPECT_EQ(prova::LeggiFile(lnk),
              "[Desktop Entry]\nVersion=1.0\nName=Esporta XML\nType=Application\nExec=\"" +
                  tmp.str() +
                  "/Programmi VQ/tra\\\\$vasa\"\nPath=/home/u/dati\n"
                  "Terminal=false\nIcon=" +
                  programma + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(lnk.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);

    const std::string documento = tmp / "nota 1.txt";
    prova::ScriviFile(documento, "x");
    EXPECT_TRUE(vqUtilita::CreaCollegamento(tmp / "nota.desktop", documento, ""));
    EXPECT_NE(prova::LeggiFile(tmp / "nota.desktop")
                  .find("\nType=Link\nURL=file://" + tmp.str() + "/nota%201.txt\n"),
              std::string::npos);
    EXPECT_FALSE(vqUtilita::CreaCollegamento(tmp / "manca/x.desktop", programma, ""));
}

}  // namespace
