#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolbe::i18n {

// The support mailbox shown after "Email:" (text 194) and opened by the contact link.
inline constexpr const char* kSupportEmail = "support@tolbe-remote.com";

// Languages in menu order; a language's base is its index x 1000.
inline constexpr int kLanguageCount = 7;
inline constexpr int kLanguageBaseStep = 1000;

// A text number that the table does not hold.
class TextNotFound : public std::runtime_error {
public:
    TextNotFound(int lang_base, int k);
    int LangBase() const { return m_langBase; }
    int K() const { return m_k; }

private:
    int m_langBase;
    int m_k;
};

// Text k of the language whose base is `lang_base` (0, 1000, ... 6000), UTF-8.
// Throws TextNotFound for any other base or for a k that no language holds.
std::string LoadText(int lang_base, int k);

// LoadText bound to one language, for the layers that take their texts as a function of k.
inline auto TextsOf(int lang_base) {
    return [lang_base](int k) { return LoadText(lang_base, k); };
}

// As LoadText, but an absent number gives std::nullopt.
std::optional<std::string> TryLoadText(int lang_base, int k);

// `text` with %1, %2, ... %9 replaced by args[0], args[1], ...; a placeholder without an argument
// stays as it is. Arguments are inserted as they are, never scanned for placeholders themselves.
std::string FormatText(const std::string& text, const std::vector<std::string>& args);

// The text numbers k that every language holds, ascending.
const std::vector<int>& TextNumbers();

} // namespace tolbe::i18n
