#include <gtest/gtest.h>

#include <random>
#include <string>

#include "alveare.h"

namespace {

using vq::registro::Analizza;
using vq::registro::Chiave;
using vq::registro::Scrivi;

bool Uguali(const Chiave& a, const Chiave& b) {
    if (a.nome != b.nome || a.valori.size() != b.valori.size() || a.figli.size() != b.figli.size())
        return false;
    for (std::size_t i = 0; i < a.valori.size(); ++i) {
        const auto &x = a.valori[i], &y = b.valori[i];
        if (x.nome != y.nome || x.tipo != y.tipo || x.dati != y.dati) return false;
    }
    for (std::size_t i = 0; i < a.figli.size(); ++i)
        if (!Uguali(a.figli[i], b.figli[i])) return false;
    return true;
}

// Names and data drawn from the characters that need care in the text form.
std::string NomeCasuale(std::mt19937& rng, bool vuotoAmmesso) {
    static const std::vector<std::string> pezzi = {"a", "Z",    " ",    "\\", "\"", "=", "[",
                                                   "]", ";",    "@",    "è",  "À",  "ß", "\t",
                                                   "-", "hex:", "\xFF", "'",  "{",  "}"};
    std::uniform_int_distribution<std::size_t> lun(vuotoAmmesso ? 0 : 1, 6),
        pezzo(0, pezzi.size() - 1);
    std::string s;
    for (std::size_t n = lun(rng); n > 0; --n) s += pezzi[pezzo(rng)];
    return s;
}

void Riempi(Chiave& k, std::mt19937& rng, int profondita) {
    std::uniform_int_distribution<int> quanti(0, 4), tipo(0, 11), byte(0, 255), lun(0, 120);
    for (int n = quanti(rng); n > 0; --n) {
        std::vector<std::uint8_t> dati(static_cast<std::size_t>(lun(rng)));
        for (auto& b : dati) b = static_cast<std::uint8_t>(byte(rng));
        const auto t = static_cast<DWORD>(tipo(rng));
        if (t == REG_SZ && n % 2 == 0) {  // often a plain text
            const std::string testo = NomeCasuale(rng, true);
            dati.assign(testo.begin(), testo.end());
            dati.push_back(0);
        }
        if (t == REG_DWORD && n % 2 == 0) dati.resize(4);
        k.ImpostaValore(NomeCasuale(rng, true), t, std::move(dati));
    }
    if (profondita == 0) return;
    for (int n = quanti(rng); n > 0; --n) {
        std::string nome = NomeCasuale(rng, false);
        for (auto& c : nome)
            if (c == '\\') c = '/';  // "\" separates keys
        bool creato = false;
        Riempi(k.CreaFiglio(nome, creato), rng, profondita - 1);
    }
}

TEST(Alveare, ScrittoERilettoEIdentico) {
    std::mt19937 rng(20261207);
    for (int prova = 0; prova < 200; ++prova) {
        Chiave albero;
        Riempi(albero, rng, 3);
        const std::string testo = Scrivi(albero, "HKEY_CURRENT_USER");
        Chiave riletto;
        const auto esito = Analizza(testo, "HKEY_CURRENT_USER", "HKCU", riletto);
        ASSERT_TRUE(esito.ok) << esito.riga << ": " << esito.motivo << "\n" << testo;
        ASSERT_TRUE(Uguali(albero, riletto)) << testo;
        ASSERT_EQ(Scrivi(riletto, "HKEY_CURRENT_USER"), testo);
    }
}

TEST(Alveare, RigheDiFileAMano) {
    struct Caso {
        const char* testo;
        bool ok;
        std::size_t riga;
    };
    const Caso casi[] = {
        {"", true, 0},
        {"\n\n  \n", true, 0},
        {"REGEDIT4", true, 0},
        {"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n", true, 0},
        {"REGEDIT4\n[hkey_current_user\\A\\]\n@=\"x\"\n", true, 0},
        {"REGEDIT4\n[HKCU\\A]\n\"p\"=\"C:\\Programmi\"\n", true, 0},  // a lone backslash stays
        {"REGEDIT4\n[HKEY_CURRENT_USER]\n@=dword:1\n", true, 0},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:\n\"y\"=hex: 1 , 2 ,\n", true, 0},
        {"REGEDIT5\n", false, 1},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex(zz):00\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex(123456789):00\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:00,,01\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"a\" coda\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\\\A]\n", false, 3},
        {"REGEDIT4\n\n[]\n", false, 3},
        {"REGEDIT4\n\n[-HKEY_CURRENT_USER]\n", false, 3},
        {"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n", false, 3},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,\\\n02,\\\n0x\n", false, 6},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:100\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:123456789\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"aperta\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=qualcosa\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\nriga senza senso\n", false, 4},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A\n", false, 3},
        {"REGEDIT4\n\"x\"=\"fuori sezione\"\n", false, 2},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,\\\n", false, 4},
    };
    for (const auto& c : casi) {
        SCOPED_TRACE(c.testo);
        Chiave k;
        const auto esito = Analizza(c.testo, "HKEY_CURRENT_USER", "HKCU", k);
        EXPECT_EQ(esito.ok, c.ok) << esito.motivo;
        EXPECT_EQ(esito.riga, c.riga);
    }
    Chiave k;
    ASSERT_TRUE(Analizza("REGEDIT4\n[HKCU\\A]\n\"p\"=\"C:\\Programmi\\\\x\"\n", "HKEY_CURRENT_USER",
                         "HKCU", k)
                    .ok);
    const auto* v = k.Trova({"a"})->TrovaValore("P");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v->dati.begin(), v->dati.end()), std::string("C:\\Programmi\\x\0", 15));
}

TEST(Alveare, ConfrontoDeiNomi) {
    using vq::registro::NomeConfronto;
    EXPECT_EQ(NomeConfronto("Software"), NomeConfronto("SOFTWARE"));
    EXPECT_EQ(NomeConfronto("città"), NomeConfronto("CITTÀ"));
    EXPECT_EQ(NomeConfronto("Ärger"), NomeConfronto("ärger"));
    EXPECT_NE(NomeConfronto("a"), NomeConfronto("à"));
    EXPECT_EQ(NomeConfronto("\xFF\xFE"), "\xFF\xFE");  // not UTF-8: compared as bytes
}

}  // namespace
