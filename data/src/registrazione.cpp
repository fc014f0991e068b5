// Self-registration: what the classes root of the registry holds for this in-process
// server (class ids, programmatic ids, the library's full path with its threading model,
// the type library and the dual interfaces), and its exact removal.
#include <dlfcn.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tessadati/tessadati.h"
#include "win/registry.h"

namespace tessadati {

namespace {

// Interfaces described by a type library are marshalled by the standard type-library
// marshaler.
constexpr CLSID kMarshalerTypeLib = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::string Testo(const GUID& g) {
    char s[40];
    std::snprintf(s, sizeof s, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return s;
}

struct Classe {
    const char* nome;
    const CLSID& clsid;
};
const Classe kClassi[] = {
    {"ClsDatiMirtesa", CLSID_ClsDatiMirtesa},
    {"clsConti", CLSID_clsConti},
    {"clsCassa", CLSID_clsCassa},
};

struct Interfaccia {
    const char* nome;
    const IID& iid;
};
const Interfaccia kInterfacce[] = {
    {"_ClsDatiMirtesa", IID__ClsDatiMirtesa},
    {"_ClsDatiMirtesa", IID__ClsDatiMirtesa_Precedente},
    {"_clsConti", IID__clsConti},
    {"_clsCassa", IID__clsCassa},
};

const std::string kLibreria = "Tessadati";
const std::string kVersione = std::to_string(kTessadatiVersioneMaggiore) + "." +
                              std::to_string(kTessadatiVersioneMinore);

// The full path of this library, as the loader found it.
std::string PercorsoLibreria() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&PercorsoLibreria), &info) || !info.dli_fname)
        return {};
    char assoluto[PATH_MAX];
    if (realpath(info.dli_fname, assoluto)) return assoluto;
    return info.dli_fname;
}

std::string Cartella(const std::string& percorso) {
    const auto pos = percorso.find_last_of('/');
    return pos == std::string::npos ? std::string() : percorso.substr(0, pos);
}

// One key of the classes root with its values, written in one go.
class Scrittore {
public:
    LONG errore = ERROR_SUCCESS;

    void Chiave(const std::string& chiave, const std::vector<std::pair<const char*, std::string>>& valori) {
        if (errore != ERROR_SUCCESS) return;
        HKEY h = nullptr;
        errore = RegCreateKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE, nullptr, &h, nullptr);
        if (errore != ERROR_SUCCESS) return;
        for (const auto& [nome, dato] : valori) {
            errore = RegSetValueExA(h, nome, 0, REG_SZ, reinterpret_cast<const BYTE*>(dato.c_str()),
                                    static_cast<DWORD>(dato.size() + 1));
            if (errore != ERROR_SUCCESS) break;
        }
        RegCloseKey(h);
    }
};

// Removes a key and everything below it; a key that is not there is no failure.
LONG Elimina(const std::string& chiave) {
    const LONG e = RegDeleteTreeA(HKEY_CLASSES_ROOT, chiave.c_str());
    return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : e;
}

// Removes a key only when nothing is left below it (other versions of the type library
// belong to others).
void EliminaSeVuota(const std::string& chiave) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, chiave.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
    DWORD sottochiavi = 0, valori = 0;
    const LONG e = RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &sottochiavi, nullptr, nullptr,
                                    &valori, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    if (e == ERROR_SUCCESS && sottochiavi == 0 && valori == 0)
        RegDeleteKeyA(HKEY_CLASSES_ROOT, chiave.c_str());
}

LONG Cancella() {
    LONG primo = ERROR_SUCCESS;
    auto annota = [&](LONG e) {
        if (primo == ERROR_SUCCESS) primo = e;
    };
    for (const auto& c : kClassi) {
        annota(Elimina("CLSID\\" + Testo(c.clsid)));
        annota(Elimina(kLibreria + "." + c.nome));
    }
    for (const auto& i : kInterfacce) annota(Elimina("Interface\\" + Testo(i.iid)));
    const std::string libreria = "TypeLib\\" + Testo(LIBID_Tessadati);
    annota(Elimina(libreria + "\\" + kVersione));
    EliminaSeVuota(libreria);
    return primo;
}

LONG Registra() {
    const std::string percorso = PercorsoLibreria();
    if (percorso.empty()) return ERROR_FILE_NOT_FOUND;
    const std::string libid = Testo(LIBID_Tessadati);

    Scrittore w;
    for (const auto& c : kClassi) {
        const std::string progid = kLibreria + "." + c.nome;
        const std::string clsid = Testo(c.clsid);
        const std::string chiave = "CLSID\\" + clsid;
        w.Chiave(chiave, {{nullptr, c.nome}});
        w.Chiave(chiave + "\\InprocServer32", {{nullptr, percorso}, {"ThreadingModel", "Apartment"}});
        w.Chiave(chiave + "\\ProgID", {{nullptr, progid}});
        w.Chiave(chiave + "\\TypeLib", {{nullptr, libid}});
        w.Chiave(chiave + "\\VERSION", {{nullptr, kVersione}});
        w.Chiave(progid, {{nullptr, progid}});
        w.Chiave(progid + "\\CLSID", {{nullptr, clsid}});
    }
    for (const auto& i : kInterfacce) {
        const std::string chiave = "Interface\\" + Testo(i.iid);
        w.Chiave(chiave, {{nullptr, i.nome}});
        w.Chiave(chiave + "\\ProxyStubClsid", {{nullptr, Testo(kMarshalerTypeLib)}});
        w.Chiave(chiave + "\\ProxyStubClsid32", {{nullptr, Testo(kMarshalerTypeLib)}});
        w.Chiave(chiave + "\\TypeLib", {{nullptr, libid}, {"Version", kVersione}});
    }
    const std::string versione = "TypeLib\\" + libid + "\\" + kVersione;
    w.Chiave(versione, {{nullptr, kLibreria}});
    w.Chiave(versione + "\\0\\" + std::string(sizeof(void*) == 8 ? "win64" : "win32"),
             {{nullptr, percorso}});
    w.Chiave(versione + "\\FLAGS", {{nullptr, "0"}});
    w.Chiave(versione + "\\HELPDIR", {{nullptr, Cartella(percorso)}});
    return w.errore;
}

HRESULT Esito(LONG errore) noexcept {
    return errore == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<ULONG>(errore));
}

}  // namespace

}  // namespace tessadati

STDAPI DllRegisterServer() {
    try {
        const LONG e = tessadati::Registra();
        // Half a registration is worse than none.
        if (e != ERROR_SUCCESS) tessadati::Cancella();
        return tessadati::Esito(e);
    } catch (...) {
        tessadati::Cancella();
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return tessadati::Esito(tessadati::Cancella());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
