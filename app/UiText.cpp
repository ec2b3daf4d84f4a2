#include "app/UiText.h"

#include "i18n/StringTable.h"

namespace tolbe::app {

QString UiText(int lang_base, int k) {
    return UiText(lang_base, k, "");
}

QString UiText(int lang_base, int k, const char* otherwise) {
    const auto text = i18n::TryLoadText(lang_base, k);
    return text ? QString::fromStdString(*text) : QString::fromUtf8(otherwise);
}

} // namespace tolbe::app
