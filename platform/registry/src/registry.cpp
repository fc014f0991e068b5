// The Win32 registry functions over the hive files.
#include "win/registry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_set>

#include "archivio.h"

using vq::registro::Alveare;
using vq::registro::Chiave;
using vq::registro::Valore;

namespace {

// An open key: its hive, the path of names below the root, and the rights it was
// opened with.
struct Maniglia {
    Alveare alveare;
    std::vector<std::string> percorso;
    REGSAM accesso;
};

std::mutex gMutex;
std::unordered_set<const Maniglia*> gManiglie;

constexpr ULONG_PTR kPrimaPredefinita = 0x80000000u;

std::optional<Maniglia> Risolvi(HKEY h) {
    const auto v = reinterpret_cast<ULONG_PTR>(h);
    if (v == kPrimaPredefinita) return Maniglia{Alveare::ClassesRoot, {}, KEY_ALL_ACCESS};
    if (v == kPrimaPredefinita + 1) return Maniglia{Alveare::CurrentUser, {}, KEY_ALL_ACCESS};
    if (v == kPrimaPredefinita + 2) return Maniglia{Alveare::LocalMachine, {}, KEY_ALL_ACCESS};
    std::lock_guard lock(gMutex);
    const auto* m = reinterpret_cast<const Maniglia*>(h);
    if (h == nullptr || gManiglie.count(m) == 0) return std::nullopt;
    return *m;
}

REGSAM Diritti(REGSAM sam) {
    REGSAM r = sam & KEY_ALL_ACCESS;
    if ((sam & (MAXIMUM_ALLOWED | 0x10000000u)) != 0)
        r |= KEY_ALL_ACCESS;                       // MAXIMUM_ALLOWED, GENERIC_ALL
    if ((sam & 0x80000000u) != 0) r |= KEY_READ;   // GENERIC_READ
    if ((sam & 0x40000000u) != 0) r |= KEY_WRITE;  // GENERIC_WRITE
    return r;
}

HKEY NuovaManiglia(Maniglia m) {
    auto* p = new Maniglia(std::move(m));
    std::lock_guard lock(gMutex);
    gManiglie.insert(p);
    return reinterpret_cast<HKEY>(p);
}

// Splits "Software\Vq\Filtro" into its names. A trailing "\" is allowed; an empty name
// inside, a leading "\" or a name that cannot be stored is not.
LONG Dividi(LPCSTR sottochiave, std::vector<std::string>& parti) {
    parti.clear();
    if (sottochiave == nullptr || *sottochiave == '\0') return ERROR_SUCCESS;
    std::string_view s(sottochiave);
    if (s.front() == '\\') return ERROR_BAD_PATHNAME;
    if (s.back() == '\\') s.remove_suffix(1);
    for (std::size_t i = 0;;) {
        const std::size_t j = s.find('\\', i);
        std::string_view nome =
            s.substr(i, j == std::string_view::npos ? std::string_view::npos : j - i);
        if (nome.empty()) return ERROR_BAD_PATHNAME;
        if (!vq::registro::NomeMemorizzabile(nome)) return ERROR_INVALID_PARAMETER;
        parti.emplace_back(nome);
        if (j == std::string_view::npos) break;
        i = j + 1;
    }
    return ERROR_SUCCESS;
}

// Runs `f` with the key of `h` as it is on disk now, after checking the rights.
template <typename F>
LONG ConChiave(HKEY h, REGSAM serve, F&& f) {
    const auto m = Risolvi(h);
    if (!m) return ERROR_INVALID_HANDLE;
    if ((m->accesso & serve) != serve) return ERROR_ACCESS_DENIED;
    std::shared_ptr<const Chiave> albero;
    if (const LONG r = vq::registro::Leggi(m->alveare, albero); r != ERROR_SUCCESS) return r;
    const Chiave* k = albero->Trova(m->percorso);  // nullptr: deleted meanwhile
    if (k == nullptr) return ERROR_KEY_DELETED;
    return f(*m, *k);
}

// Runs `f` under the hive's lock with the key of `h`, writing the hive when f says so.
template <typename F>
LONG ModificaChiave(HKEY h, REGSAM serve, F&& f) {
    const auto m = Risolvi(h);
    if (!m) return ERROR_INVALID_HANDLE;
    if ((m->accesso & serve) != serve) return ERROR_ACCESS_DENIED;
    return vq::registro::Modifica(m->alveare, [&](Chiave& albero, bool& cambiato) -> LONG {
        Chiave* k = albero.Trova(m->percorso);
        if (k == nullptr) return ERROR_KEY_DELETED;
        return f(*m, *k, cambiato);
    });
}

std::string_view NomeValore(LPCSTR nome) {
    return nome == nullptr ? std::string_view() : std::string_view(nome);
}

// Copies `dati` out as the registry functions do: the size always, the bytes when the
// buffer holds them, ERROR_MORE_DATA when it does not.
LONG Consegna(const Valore& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    if (lpType != nullptr) *lpType = v.tipo;
    const auto n = static_cast<DWORD>(v.dati.size());
    LONG r = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < n) {
            r = ERROR_MORE_DATA;
        } else if (n > 0) {
            std::memcpy(lpData, v.dati.data(), n);
        }
    }
    if (lpcbData != nullptr) *lpcbData = n;
    return r;
}

// %NAME% references replaced from the environment; see ExpandEnvironmentStringsA.
std::string Espandi(std::string_view testo) {
    std::string r;
    std::size_t i = 0;
    while (i < testo.size()) {
        const std::size_t inizio = testo.find('%', i);
        if (inizio == std::string_view::npos) {
            r.append(testo.substr(i));
            break;
        }
        r.append(testo.substr(i, inizio - i));
        const std::size_t fine = testo.find('%', inizio + 1);
        if (fine == std::string_view::npos) {
            r.append(testo.substr(inizio));
            break;
        }
        const std::string nome(testo.substr(inizio + 1, fine - inizio - 1));
        const char* valore = nome.empty() ? nullptr : std::getenv(nome.c_str());
        if (valore != nullptr) {
            r.append(valore);
            i = fine + 1;
        } else {
            // Unknown: kept as written; its closing "%" may open the next name.
            r.append(testo.substr(inizio, fine - inizio));
            i = fine;
        }
    }
    return r;
}

template <typename F>
LONG Protetto(F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                          PHKEY phkResult) {
    return Protetto([&]() -> LONG {
        if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        std::vector<std::string> parti;
        if (const LONG r = Dividi(lpSubKey, parti); r != ERROR_SUCCESS) return r;
        return ConChiave(hKey, 0, [&](const Maniglia& m, const Chiave& base) -> LONG {
            Maniglia nuova{m.alveare, m.percorso, Diritti(samDesired)};
            const Chiave* k = &base;
            for (const auto& p : parti) {
                k = k->Figlio(p);
                if (k == nullptr) return ERROR_FILE_NOT_FOUND;
                nuova.percorso.push_back(k->nome);
            }
            *phkResult = NuovaManiglia(std::move(nuova));
            return ERROR_SUCCESS;
        });
    });
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                            DWORD /*dwOptions*/, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    return Protetto([&]() -> LONG {
        if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        std::vector<std::string> parti;
        if (const LONG r = Dividi(lpSubKey, parti); r != ERROR_SUCCESS) return r;

        // A key that exists is only opened: no lock, no write.
        const LONG aperta = RegOpenKeyExA(hKey, lpSubKey, 0, samDesired, phkResult);
        if (aperta == ERROR_SUCCESS) {
            if (lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        if (aperta != ERROR_FILE_NOT_FOUND) return aperta;

        Maniglia nuova{};
        bool creata = false;
        const LONG r = ModificaChiave(
            hKey, KEY_CREATE_SUB_KEY, [&](const Maniglia& m, Chiave& base, bool& cambiato) {
                nuova = Maniglia{m.alveare, m.percorso, Diritti(samDesired)};
                creata = false;
                Chiave* k = &base;
                for (const auto& p : parti) {
                    k = &k->CreaFiglio(p, creata);
                    nuova.percorso.push_back(k->nome);
                }
                cambiato = creata;
                return ERROR_SUCCESS;
            });
        if (r != ERROR_SUCCESS) return r;
        *phkResult = NuovaManiglia(std::move(nuova));
        if (lpdwDisposition != nullptr)
            *lpdwDisposition = creata ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD /*lpReserved*/, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    return Protetto([&]() -> LONG {
        return ConChiave(hKey, KEY_QUERY_VALUE, [&](const Maniglia&, const Chiave& k) -> LONG {
            const Valore* v = k.TrovaValore(NomeValore(lpValueName));
            if (v == nullptr) return ERROR_FILE_NOT_FOUND;
            return Consegna(*v, lpType, lpData, lpcbData);
        });
    });
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
    return Protetto([&]() -> LONG {
        if (lpData == nullptr && cbData != 0) return ERROR_NOACCESS;
        const std::string_view nome = NomeValore(lpValueName);
        if (!vq::registro::NomeMemorizzabile(nome)) return ERROR_INVALID_PARAMETER;
        std::vector<std::uint8_t> dati(lpData, lpData + cbData);
        return ModificaChiave(hKey, KEY_SET_VALUE,
                              [&](const Maniglia&, Chiave& k, bool& cambiato) -> LONG {
                                  cambiato = k.ImpostaValore(nome, dwType, std::move(dati));
                                  return ERROR_SUCCESS;
                              });
    });
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Protetto([&]() -> LONG {
        return ModificaChiave(hKey, KEY_SET_VALUE,
                              [&](const Maniglia&, Chiave& k, bool& cambiato) -> LONG {
                                  cambiato = k.RimuoviValore(NomeValore(lpValueName));
                                  return cambiato ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
                              });
    });
}

namespace {

// Deletes the key `sottochiave` below `h` (or `h` itself when empty). With `albero`
// false it must have no subkeys (Windows answers ERROR_ACCESS_DENIED then).
LONG EliminaChiave(HKEY h, LPCSTR sottochiave, bool albero) {
    std::vector<std::string> parti;
    if (const LONG r = Dividi(sottochiave, parti); r != ERROR_SUCCESS) return r;
    const auto m = Risolvi(h);
    if (!m) return ERROR_INVALID_HANDLE;
    std::vector<std::string> completo = m->percorso;
    completo.insert(completo.end(), parti.begin(), parti.end());
    if (completo.empty()) return ERROR_ACCESS_DENIED;  // a hive's root is never deleted
    return vq::registro::Modifica(m->alveare, [&](Chiave& radice, bool& cambiato) -> LONG {
        if (radice.Trova(m->percorso) == nullptr) return ERROR_KEY_DELETED;
        const std::string ultimo = completo.back();
        completo.pop_back();
        Chiave* padre = radice.Trova(completo);
        Chiave* k = padre == nullptr ? nullptr : padre->Figlio(ultimo);
        if (k == nullptr) return ERROR_FILE_NOT_FOUND;
        if (!albero && !k->figli.empty()) return ERROR_ACCESS_DENIED;
        padre->RimuoviFiglio(ultimo);
        cambiato = true;
        return ERROR_SUCCESS;
    });
}

}  // namespace

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return Protetto([&]() -> LONG {
        if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
        return EliminaChiave(hKey, lpSubKey, false);
    });
}

LONG WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return Protetto([&]() -> LONG {
        if (lpSubKey != nullptr && *lpSubKey != '\0') return EliminaChiave(hKey, lpSubKey, true);
        // No subkey: empty the key itself, keeping it.
        return ModificaChiave(hKey, KEY_SET_VALUE,
                              [&](const Maniglia&, Chiave& k, bool& cambiato) -> LONG {
                                  cambiato = !k.figli.empty() || !k.valori.empty();
                                  k.figli.clear();
                                  k.valori.clear();
                                  return ERROR_SUCCESS;
                              });
    });
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    const auto v = reinterpret_cast<ULONG_PTR>(hKey);
    if (v >= kPrimaPredefinita && v <= kPrimaPredefinita + 2) return ERROR_SUCCESS;
    std::lock_guard lock(gMutex);
    auto* m = reinterpret_cast<const Maniglia*>(hKey);
    if (hKey == nullptr || gManiglie.erase(m) == 0) return ERROR_INVALID_HANDLE;
    delete m;
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD /*lpReserved*/, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    return Protetto([&]() -> LONG {
        if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
        return ConChiave(hKey, KEY_ENUMERATE_SUB_KEYS,
                         [&](const Maniglia&, const Chiave& k) -> LONG {
                             if (dwIndex >= k.figli.size()) return ERROR_NO_MORE_ITEMS;
                             const std::string& nome = k.figli[dwIndex].nome;
                             if (*lpcchName <= nome.size()) return ERROR_MORE_DATA;
                             std::memcpy(lpName, nome.c_str(), nome.size() + 1);
                             *lpcchName = static_cast<DWORD>(nome.size());
                             if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0)
                                 *lpClass = '\0';
                             if (lpcchClass != nullptr) *lpcchClass = 0;
                             if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
                             return ERROR_SUCCESS;
                         });
    });
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD /*lpReserved*/, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Protetto([&]() -> LONG {
        if (lpValueName == nullptr || lpcchValueName == nullptr) return ERROR_INVALID_PARAMETER;
        return ConChiave(hKey, KEY_QUERY_VALUE, [&](const Maniglia&, const Chiave& k) -> LONG {
            if (dwIndex >= k.valori.size()) return ERROR_NO_MORE_ITEMS;
            const Valore& v = k.valori[dwIndex];
            if (*lpcchValueName <= v.nome.size()) return ERROR_MORE_DATA;
            std::memcpy(lpValueName, v.nome.c_str(), v.nome.size() + 1);
            *lpcchValueName = static_cast<DWORD>(v.nome.size());
            return Consegna(v, lpType, lpData, lpcbData);
        });
    });
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD /*lpReserved*/,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
    return Protetto([&]() -> LONG {
        return ConChiave(hKey, KEY_QUERY_VALUE, [&](const Maniglia&, const Chiave& k) -> LONG {
            std::size_t maxChiave = 0, maxNome = 0, maxDati = 0;
            for (const auto& f : k.figli) maxChiave = std::max(maxChiave, f.nome.size());
            for (const auto& v : k.valori) {
                maxNome = std::max(maxNome, v.nome.size());
                maxDati = std::max(maxDati, v.dati.size());
            }
            if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = '\0';
            if (lpcchClass != nullptr) *lpcchClass = 0;
            if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(k.figli.size());
            if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxChiave);
            if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
            if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(k.valori.size());
            if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = static_cast<DWORD>(maxNome);
            if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = static_cast<DWORD>(maxDati);
            if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
            if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
            return ERROR_SUCCESS;
        });
    });
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    if (lpSrc == nullptr) return 0;
    try {
        const std::string r = Espandi(lpSrc);
        if (r.size() >= std::numeric_limits<DWORD>::max()) return 0;
        const auto n = static_cast<DWORD>(r.size() + 1);
        if (lpDst != nullptr && nSize >= n) std::memcpy(lpDst, r.c_str(), n);
        return n;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
