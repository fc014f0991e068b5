// The interface of the small class that the class-activation tests load from a library of
// its own (classe_prova.cpp), as a client would see it.
#pragma once

#include <ole/automation.h>

// {6B1F3A52-0C2D-4E8F-9A71-3D5C2B8E4F10}
inline constexpr CLSID CLSID_Prova = {
    0x6B1F3A52, 0x0C2D, 0x4E8F, {0x9A, 0x71, 0x3D, 0x5C, 0x2B, 0x8E, 0x4F, 0x10}};
// A class id the library does not know: {6B1F3A52-0C2D-4E8F-9A71-3D5C2B8E4F11}
inline constexpr CLSID CLSID_ProvaIgnota = {
    0x6B1F3A52, 0x0C2D, 0x4E8F, {0x9A, 0x71, 0x3D, 0x5C, 0x2B, 0x8E, 0x4F, 0x11}};
// {0E4D7C21-5B3A-4F60-8E19-A2C4D6F8B031}
inline constexpr IID IID_IProva = {
    0x0E4D7C21, 0x5B3A, 0x4F60, {0x8E, 0x19, 0xA2, 0xC4, 0xD6, 0xF8, 0xB0, 0x31}};

struct IProva : IUnknown {
    STDMETHOD(Somma)(LONG a, LONG b, LONG* risultato) = 0;
    // Fails with error `numero` and the description "Errore di prova <numero>".
    STDMETHOD(Fallisci)(LONG numero) = 0;
    // Returns a new Collection holding `n` texts "elemento 1" .. "elemento n".
    STDMETHOD(Elenco)(LONG n, _Collection** risultato) = 0;

protected:
    ~IProva() = default;
};
