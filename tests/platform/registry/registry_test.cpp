#include <signal.h>
#include <sys/resource.h>

#include "registro_prova.h"

namespace {

using namespace prova;

TEST_F(Registro, OgniTipoTornaComeEraStato) {
    struct Caso {
        const char* nome;
        DWORD tipo;
        std::vector<BYTE> dati;
    };
    std::vector<BYTE> lunghi(300);
    for (std::size_t i = 0; i < lunghi.size(); ++i) lunghi[i] = static_cast<BYTE>(i * 7);
    const std::vector<Caso> casi = {
        {"Testo", REG_SZ, Testo("C:\\Programmi\\Mirtesa\\")},
        {"Accenti", REG_SZ, Testo("Città è già \"qui\"")},
        {"Vuoto", REG_SZ, Testo("")},
        {"", REG_SZ, Testo("predefinito")},
        {"A capo", REG_SZ, Testo("riga 1\r\nriga 2")},
        {"Senza NUL", REG_SZ, Byte("abc")},
        {"Non UTF-8", REG_SZ, Testo("\xE0\xFF")},
        {"Espandibile", REG_EXPAND_SZ, Testo("%HOME%\\dati")},
        {"Numero", REG_DWORD, {0x2A, 0, 0, 0}},
        {"Massimo", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"Dword corto", REG_DWORD, {1, 2}},
        {"Binario", REG_BINARY, lunghi},
        {"Binario vuoto", REG_BINARY, {}},
        {"Multi", REG_MULTI_SZ, Byte(std::string_view("uno\0due\0\0", 9))},
        {"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Nessuno", REG_NONE, {}},
        {"nome \\ con \"virgolette\"", REG_SZ, Testo("x")},
        {"@", REG_SZ, Testo("non è il predefinito")},
    };
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\VQ\\Prova");
    for (const auto& c : casi)
        ASSERT_EQ(Imposta(h, c.nome, c.tipo, c.dati), ERROR_SUCCESS) << c.nome;

    // The file is read anew: replace it by a copy of itself written by someone else.
    const std::string testo = File("HKCU.reg");
    ScriviFile("HKCU.reg", testo);
    HKEY letto;
    ASSERT_EQ(Apri(HKEY_CURRENT_USER, "Software\\VQ\\Prova", letto), ERROR_SUCCESS);
    for (const auto& c : casi) {
        SCOPED_TRACE(c.nome);
        DWORD tipo = 99;
        std::vector<BYTE> dati;
        ASSERT_EQ(Leggi(letto, c.nome, tipo, dati), ERROR_SUCCESS);
        EXPECT_EQ(tipo, c.tipo);
        EXPECT_EQ(dati, c.dati);
    }
    // Readable text as regedit writes it.
    EXPECT_EQ(testo.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n", 0), 0u) << testo;
    for (const char* riga :
         {"[HKEY_CURRENT_USER\\Software\\VQ\\Prova]\n",
          "\"Testo\"=\"C:\\\\Programmi\\\\Mirtesa\\\\\"\n",
          "\"Accenti\"=\"Città è già \\\"qui\\\"\"\n", "\"Vuoto\"=\"\"\n", "@=\"predefinito\"\n",
          "\"Numero\"=dword:0000002a\n", "\"Massimo\"=dword:ffffffff\n",
          "\"Espandibile\"=hex(2):25,48,4f,4d,45,25,5c,64,61,74,69,00\n",
          "\"Multi\"=hex(7):75,6e,6f,00,64,75,65,00,00\n", "\"Dword corto\"=hex(4):01,02\n",
          "\"Binario vuoto\"=hex:\n", "\"Nessuno\"=hex(0):\n",
          "\"Qword\"=hex(b):01,02,03,04,05,06,07,08\n",
          "\"Binario\"=hex:00,07,0e,15,1c,23,2a,31,38,3f,46,4d,54,5b,62,69,70,77,7e,85,8c,\\\n  "
          "93,",
          "\"@\"=\"non è il predefinito\"\n"}) {
        EXPECT_NE(testo.find(riga), std::string::npos) << riga << "\n---\n" << testo;
    }
    for (std::size_t inizio = 0; inizio < testo.size();) {
        const std::size_t fine = testo.find('\n', inizio);
        EXPECT_LE(fine - inizio, 80u) << testo.substr(inizio, fine - inizio);
        inizio = fine + 1;
    }
}

TEST_F(Registro, LettureComeLApiAnsi) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\VQ");
    ASSERT_EQ(Imposta(h, "Data_Iniziale", REG_SZ, Testo("20040101")), ERROR_SUCCESS);
    DWORD tipo = 0, n = 0;
    ASSERT_EQ(RegQueryValueExA(h, "data_iniziale", nullptr, &tipo, nullptr, &n), ERROR_SUCCESS);
    EXPECT_EQ(tipo, REG_SZ);
    EXPECT_EQ(n, 9u);  // NUL counted
    char piccolo[4] = {'x', 'x', 'x', 'x'};
    n = sizeof piccolo;
    EXPECT_EQ(
        RegQueryValueExA(h, "Data_Iniziale", nullptr, &tipo, reinterpret_cast<BYTE*>(piccolo), &n),
        ERROR_MORE_DATA);
    EXPECT_EQ(n, 9u);
    char grande[1024];
    n = sizeof grande;
    EXPECT_EQ(
        RegQueryValueExA(h, "Data_Iniziale", nullptr, nullptr, reinterpret_cast<BYTE*>(grande), &n),
        ERROR_SUCCESS);
    EXPECT_EQ(n, 9u);
    EXPECT_STREQ(grande, "20040101");
    EXPECT_EQ(RegQueryValueExA(h, "Data_Iniziale", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(grande), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(h, "Manca", nullptr, &tipo, nullptr, &n), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(h, nullptr, nullptr, &tipo, nullptr, &n),
              ERROR_FILE_NOT_FOUND);  // no default
    ASSERT_EQ(Imposta(h, nullptr, REG_SZ, Testo("def")), ERROR_SUCCESS);
    n = sizeof grande;
    EXPECT_EQ(RegQueryValueExA(h, "", nullptr, &tipo, reinterpret_cast<BYTE*>(grande), &n),
              ERROR_SUCCESS);
    EXPECT_STREQ(grande, "def");
    EXPECT_EQ(RegSetValueExA(h, "x", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegSetValueExA(h, "riga\nnuova", 0, REG_SZ, reinterpret_cast<const BYTE*>("a"), 2),
              ERROR_INVALID_PARAMETER);
}

TEST_F(Registro, NomiSenzaRiguardoAlMaiuscolo) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\VQEsporta_XML\\Filtro");
    ASSERT_EQ(Imposta(h, "Città", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    ASSERT_EQ(Imposta(h, "CITTÀ", REG_DWORD, {2, 0, 0, 0}), ERROR_SUCCESS);  // the same value
    HKEY altro;
    ASSERT_EQ(Apri(HKEY_CURRENT_USER, "SOFTWARE\\vqesporta_xml\\FILTRO\\", altro), ERROR_SUCCESS);
    DWORD tipo, n = 4, v = 0;
    ASSERT_EQ(RegQueryValueExA(altro, "città", nullptr, &tipo, reinterpret_cast<BYTE*>(&v), &n),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 2u);
    char nome[64];
    DWORD cch = sizeof nome;
    ASSERT_EQ(RegEnumValueA(altro, 0, nome, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(nome, "Città");  // case kept as created
    cch = sizeof nome;
    EXPECT_EQ(RegEnumValueA(altro, 1, nome, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);

    DWORD disp = 0;
    HKEY stessa = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\VQESPORTA_XML", 0, nullptr, 0, KEY_READ,
                              nullptr, &stessa, &disp),
              ERROR_SUCCESS);
    aperte_.push_back(stessa);
    EXPECT_EQ(disp, REG_OPENED_EXISTING_KEY);
    cch = sizeof nome;
    ASSERT_EQ(RegEnumKeyExA(stessa, 0, nome, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(nome, "Filtro");
    EXPECT_EQ(cch, 6u);
    EXPECT_NE(File("HKCU.reg").find("[HKEY_CURRENT_USER\\Software\\VQEsporta_XML\\Filtro]"),
              std::string::npos);
}

TEST_F(Registro, EnumerazioneOrdinataEBufferCorti) {
    HKEY h = Crea(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classi");
    for (const char* k : {"zeta", "Alfa", "beta", "Èpsilon", "Gamma"}) Crea(h, k);
    std::vector<std::string> visti;
    char nome[32];
    for (DWORD i = 0;; ++i) {
        DWORD cch = sizeof nome;
        const LONG r = RegEnumKeyExA(h, i, nome, &cch, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(r, ERROR_SUCCESS);
        visti.emplace_back(nome, cch);
    }
    EXPECT_EQ(visti, (std::vector<std::string>{"Alfa", "beta", "Gamma", "zeta", "Èpsilon"}));
    DWORD cch = 4;  // "Alfa" needs 5 with its NUL
    EXPECT_EQ(RegEnumKeyExA(h, 0, nome, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    DWORD sotto = 0, valori = 9, maxNome = 0;
    ASSERT_EQ(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &sotto, &maxNome, nullptr, &valori,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(sotto, 5u);
    EXPECT_EQ(valori, 0u);
    EXPECT_EQ(maxNome, std::strlen("Èpsilon"));
}

TEST_F(Registro, FileScrittoAMano) {
    ScriviFile(
        "HKCR.reg",
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "\r\n"
        "; scritto a mano\r\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{8D1E2A55-3B4C-4F6A-9E21-0C7B5D3A9F10}\\InprocServer32]\r\n"
        "@=\"/opt/vq/libtessadati.so\"\r\n"
        "\"ThreadingModel\" = \"Apartment\"\r\n"
        "\r\n"
        "[HKCR\\Tessadati.ClsDatiMirtesa\\Clsid]\n"
        "@=\"{8D1E2A55-3B4C-4F6A-9E21-0C7B5D3A9F10}\"\n"
        "\"Lungo\"=hex:01,02,\\\n"
        "   03,04,\\\n"
        "  05\n"
        "\"Percorso\"=hex(2):41,00\n"
        "\"Elenco\"=hex(7):61,00,62,00,00\n"
        "\"Conta\"=DWORD:FF\n"
        "\"Via\"=\"x\"\n"
        "\"Via\"=-\n"
        "[-HKEY_CLASSES_ROOT\\Tolta]\n"
        "\"ignorato\"=\"dopo una chiave eliminata\"\n");
    HKEY inproc, h;
    ASSERT_EQ(Apri(HKEY_CLASSES_ROOT,
                   "CLSID\\{8d1e2a55-3b4c-4f6a-9e21-0c7b5d3a9f10}\\InprocServer32", inproc),
              ERROR_SUCCESS);
    ASSERT_EQ(Apri(HKEY_CLASSES_ROOT, "Tessadati.ClsDatiMirtesa\\Clsid", h, KEY_ALL_ACCESS),
              ERROR_SUCCESS);
    struct {
        HKEY chiave;
        const char* nome;
        DWORD tipo;
        std::vector<BYTE> dati;
    } attesi[] = {
        {inproc, nullptr, REG_SZ, Testo("/opt/vq/libtessadati.so")},
        {inproc, "threadingmodel", REG_SZ, Testo("Apartment")},
        {h, "Lungo", REG_BINARY, {1, 2, 3, 4, 5}},
        {h, "Percorso", REG_EXPAND_SZ, {'A', 0}},
        {h, "Elenco", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {h, "Conta", REG_DWORD, {0xFF, 0, 0, 0}},
    };
    DWORD tipo;
    std::vector<BYTE> dati;
    for (const auto& a : attesi) {
        ASSERT_EQ(Leggi(a.chiave, a.nome, tipo, dati), ERROR_SUCCESS) << (a.nome ? a.nome : "@");
        EXPECT_EQ(tipo, a.tipo) << (a.nome ? a.nome : "@");
        EXPECT_EQ(dati, a.dati) << (a.nome ? a.nome : "@");
    }
    EXPECT_EQ(Leggi(h, "Via", tipo, dati), ERROR_FILE_NOT_FOUND);

    // A write keeps everything that was there.
    ASSERT_EQ(Imposta(h, "Nuovo", REG_SZ, Testo("1")), ERROR_SUCCESS);
    ASSERT_EQ(Leggi(h, "Lungo", tipo, dati), ERROR_SUCCESS);
    EXPECT_EQ(dati, (std::vector<BYTE>{1, 2, 3, 4, 5}));
    const std::string dopo = File("HKCR.reg");
    EXPECT_NE(dopo.find("\"ThreadingModel\"=\"Apartment\""), std::string::npos) << dopo;
    EXPECT_EQ(dopo.find("ignorato"), std::string::npos) << dopo;
}

TEST_F(Registro, AlveareDanneggiatoNonVieneToccato) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\VQ");
    // The parser's own table holds the many ways a hive can be wrong; here, what the
    // store does with one: refuses every call on that hive and leaves the file alone.
    const std::vector<std::string> guasti = {
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=hex:0g\n",
        "[HKEY_CURRENT_USER\\Software]\n",
        std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"x\0y\"\n", 48),
    };
    for (const auto& g : guasti) {
        SCOPED_TRACE(g);
        ScriviFile("HKCU.reg", g);
        HKEY k;
        EXPECT_EQ(Apri(HKEY_CURRENT_USER, "Software", k), ERROR_BADDB);
        EXPECT_EQ(Interroga(h, "a"), ERROR_BADDB);
        EXPECT_EQ(Imposta(h, "b", REG_SZ, Testo("x")), ERROR_BADDB);
        HKEY nuova = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Altro", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &nuova, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VQ"), ERROR_BADDB);
        EXPECT_EQ(File("HKCU.reg"), g);
    }
    // The other hives are not affected.
    Crea(HKEY_LOCAL_MACHINE, "SOFTWARE\\VQ");
}

TEST_F(Registro, EliminazioneComeSuWindows) {
    HKEY padre = Crea(HKEY_CURRENT_USER, "Software\\VQ\\Padre");
    HKEY figlio = Crea(padre, "Figlio");
    ASSERT_EQ(Imposta(figlio, "v", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VQ\\Padre"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VQ\\Nessuna"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);  // the hive's root
    EXPECT_EQ(RegDeleteValueA(figlio, "manca"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(figlio, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(padre, "FIGLIO"), ERROR_SUCCESS);
    // The open handle of a deleted key says so.
    EXPECT_EQ(Interroga(figlio, "v"), ERROR_KEY_DELETED);
    EXPECT_EQ(Imposta(figlio, "v", REG_DWORD, {1, 0, 0, 0}), ERROR_KEY_DELETED);
    HKEY k;
    EXPECT_EQ(Apri(HKEY_CURRENT_USER, "Software\\VQ\\Padre\\Figlio", k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VQ\\Padre"), ERROR_SUCCESS);

    Crea(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
    HKEY clsid = Crea(HKEY_CLASSES_ROOT, "CLSID");
    ASSERT_EQ(Imposta(clsid, "tenuto", REG_SZ, Testo("1")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "clsid\\{x}"), ERROR_SUCCESS);
    EXPECT_EQ(Apri(HKEY_CLASSES_ROOT, "CLSID\\{X}", k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Apri(HKEY_CLASSES_ROOT, "CLSID", k), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(clsid, nullptr), ERROR_SUCCESS);  // empties, keeps the key
    EXPECT_EQ(Interroga(clsid, "tenuto"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Apri(HKEY_CLASSES_ROOT, "CLSID", k), ERROR_SUCCESS);
}

TEST_F(Registro, ManiglieEDiritti) {
    HKEY sola = Crea(HKEY_CURRENT_USER, "Software\\VQ", KEY_READ);
    EXPECT_EQ(Imposta(sola, "x", REG_SZ, Testo("1")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(sola, "x"), ERROR_ACCESS_DENIED);
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExA(sola, "Nuova", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_ACCESS_DENIED);
    HKEY scrittura = Crea(HKEY_CURRENT_USER, "Software\\VQ", KEY_WRITE);
    EXPECT_EQ(Imposta(scrittura, "x", REG_SZ, Testo("1")), ERROR_SUCCESS);
    EXPECT_EQ(Interroga(scrittura, "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Interroga(sola, "x"), ERROR_SUCCESS);

    HKEY chiusa = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &chiusa), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(chiusa), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(chiusa), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Interroga(chiusa, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_USERS, "Software", 0, KEY_READ, &k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &k), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\\\VQ", 0, KEY_READ, &k),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(Apri(HKEY_CURRENT_USER, nullptr, k), ERROR_SUCCESS);  // a new handle to the root
}

TEST_F(Registro, CartellaEPermessi) {
    HKEY k;
    EXPECT_EQ(Apri(HKEY_CURRENT_USER, "Software", k), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(cartella_)) << "reading must not create anything";
    Crea(HKEY_CURRENT_USER, "Software");
    struct stat st {};
    ASSERT_EQ(stat(cartella_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((cartella_ / "HKCU.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(File("HKCU.reg"), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n");
    EXPECT_EQ(Residui(), std::vector<std::string>{});

    // A hive kept as a symbolic link stays one: the write goes to its target.
    const fs::path vero = base_ / "dotfiles" / "utente.reg";
    fs::create_directories(vero.parent_path());
    fs::rename(cartella_ / "HKCU.reg", vero);
    fs::create_symlink(vero, cartella_ / "HKCU.reg");
    Crea(HKEY_CURRENT_USER, "Software\\Collegato");
    EXPECT_TRUE(fs::is_symlink(cartella_ / "HKCU.reg"));
    EXPECT_NE(File("HKCU.reg").find("[HKEY_CURRENT_USER\\Software\\Collegato]"), std::string::npos);
    EXPECT_EQ(Apri(HKEY_CURRENT_USER, "Software\\Collegato", k), ERROR_SUCCESS);

    // VQ_REGISTRO_DIR wins over XDG_CONFIG_HOME.
    const fs::path altrove = base_ / "altrove";
    setenv("VQ_REGISTRO_DIR", altrove.c_str(), 1);
    EXPECT_EQ(Apri(HKEY_CURRENT_USER, "Software", k), ERROR_FILE_NOT_FOUND);
    Crea(HKEY_LOCAL_MACHINE, "SOFTWARE");
    EXPECT_TRUE(fs::exists(altrove / "HKLM.reg"));
    unsetenv("VQ_REGISTRO_DIR");
}

TEST_F(Registro, UnaScritturaFallitaLasciaIlFileDiPrima) {
    HKEY h = Crea(HKEY_CURRENT_USER, "Software\\VQ");
    ASSERT_EQ(Imposta(h, "piccolo", REG_SZ, Testo("c'era")), ERROR_SUCCESS);
    const std::string prima = File("HKCU.reg");
    // A child that may not write files longer than a few bytes more than the hive: its
    // write fails half-way, as on a full disk.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limite{static_cast<rlim_t>(prima.size() + 16),
                      static_cast<rlim_t>(prima.size() + 16)};
        setrlimit(RLIMIT_FSIZE, &limite);
        std::vector<BYTE> grande(4096, 0xAB);
        const LONG r = RegSetValueExA(h, "grande", 0, REG_BINARY, grande.data(),
                                      static_cast<DWORD>(grande.size()));
        _exit(r == ERROR_CANTWRITE ? 0 : 1);
    }
    int stato = 0;
    ASSERT_EQ(waitpid(pid, &stato, 0), pid);
    EXPECT_TRUE(WIFEXITED(stato) && WEXITSTATUS(stato) == 0) << "the failed write was not reported";
    EXPECT_EQ(File("HKCU.reg"), prima);
    EXPECT_EQ(Residui(), std::vector<std::string>{});
    EXPECT_EQ(Interroga(h, "grande"), ERROR_FILE_NOT_FOUND);
}

TEST(Ambiente, EspansioneComeSuWindows) {
    setenv("VQ_PROVA_BASE", "/base", 1);
    unsetenv("VQ_PROVA_IGNOTA");
    const struct {
        const char* testo;
        const char* atteso;
    } kCasi[] = {
        {"%VQ_PROVA_BASE%/dati", "/base/dati"},
        {"%vq_prova_base%", "%vq_prova_base%"},  // names are case-sensitive here
        {"%VQ_PROVA_IGNOTA%VQ_PROVA_BASE%", "%VQ_PROVA_IGNOTA/base"},
        {"100% e %%", "100% e %%"},
        {"%VQ_PROVA_BASE", "%VQ_PROVA_BASE"},
        {"", ""},
    };
    for (const auto& c : kCasi) EXPECT_EQ(vq::EspandiAmbiente(c.testo), c.atteso) << c.testo;

    // A buffer too small is left alone; the answer is the size needed with the NUL.
    char corto[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(ExpandEnvironmentStringsA("%VQ_PROVA_BASE%", corto, sizeof corto), 6u);
    EXPECT_EQ(std::string(corto, sizeof corto), "xxxx");
    EXPECT_EQ(ExpandEnvironmentStringsA(nullptr, corto, sizeof corto), 0u);
    unsetenv("VQ_PROVA_BASE");
}

}  // namespace
