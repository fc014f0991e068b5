#pragma once
// Case folding of the ASCII letters only: names, keys and identifiers that compare
// without regard to case as the Windows APIs compare them, whatever the locale (a
// "tolower" would follow the C locale of the moment). Works on char, char16_t and
// char32_t alike; every other character is left as it is.

#include <cstddef>
#include <string>
#include <string_view>

namespace vq {

template <class C>
constexpr C MinuscolaAscii(C c) noexcept {
    return (c >= C('A') && c <= C('Z')) ? static_cast<C>(c - C('A') + C('a')) : c;
}

template <class C>
constexpr C MaiuscolaAscii(C c) noexcept {
    return (c >= C('a') && c <= C('z')) ? static_cast<C>(c - C('a') + C('A')) : c;
}

template <class C>
constexpr bool UgualiSenzaMaiuscole(std::basic_string_view<C> a,
                                    std::basic_string_view<C> b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (MinuscolaAscii(a[i]) != MinuscolaAscii(b[i])) return false;
    return true;
}
constexpr bool UgualiSenzaMaiuscole(std::string_view a, std::string_view b) noexcept {
    return UgualiSenzaMaiuscole<char>(a, b);
}
constexpr bool UgualiSenzaMaiuscole(std::u16string_view a, std::u16string_view b) noexcept {
    return UgualiSenzaMaiuscole<char16_t>(a, b);
}

template <class C>
std::basic_string<C> InMinuscoleAscii(std::basic_string<C> testo) {
    for (C& c : testo) c = MinuscolaAscii(c);
    return testo;
}
inline std::string InMinuscoleAscii(std::string_view testo) {
    return InMinuscoleAscii(std::string(testo));
}

template <class C>
std::basic_string<C> InMaiuscoleAscii(std::basic_string<C> testo) {
    for (C& c : testo) c = MaiuscolaAscii(c);
    return testo;
}
inline std::string InMaiuscoleAscii(std::string_view testo) {
    return InMaiuscoleAscii(std::string(testo));
}

}  // namespace vq
