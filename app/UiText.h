#pragma once

#include "i18n/Texts.h"

#include <QString>

#include <cstdint>

namespace tolbe::app {

// The windows name their texts as i18n/Texts.h does, without the namespace.
using namespace i18n::texts;

// Text k of the language whose base is `lang_base` as Qt text; empty when the table lacks k, so a
// missing number shows as a blank rather than ending the window.
QString UiText(int lang_base, int k);
// As UiText, but `otherwise` (UTF-8) when the table lacks k.
QString UiText(int lang_base, int k, const char* otherwise);

// For the windows and helpers that show texts of the active language: T(k) reads the language base
// at each call, so it follows the context it was given rather than a copy taken at construction.
class ActiveTexts {
protected:
    explicit ActiveTexts(const std::int16_t& langBase) : m_langBase(langBase) {}
    QString T(int k) const { return UiText(m_langBase, k); }

private:
    const std::int16_t& m_langBase;
};

} // namespace tolbe::app
