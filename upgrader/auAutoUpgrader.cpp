#include "upgrader/auAutoUpgrader.h"

#include "platform/system/Environment.h"
#include "platform/system/Resources.h"
#include "platform/ui/Forms.h"
#include "support/auUtils.h"

namespace qorv {

const std::int32_t LanguagePrimaryIds[kCatalogueLanguageCount + 1] = {
    0,     // unused: ordinals start at 1
    0x09,  // English
    0x19,  // Russian
    0x07,  // German
    0x0C,  // French
    0x0A,  // Spanish
    0x16,  // Portuguese
    0x16,  // Portuguese (Brazil)
    0x10,  // Italian
    0x13,  // Dutch
    0x06,  // Danish
    0x1D,  // Swedish
    0x0B,  // Finnish
    0x25,  // Estonian
    0x22,  // Ukrainian
    0x15,  // Polish
    0x05,  // Czech
    0x0E,  // Hungarian
    0x18,  // Romanian
    0x03,  // Catalan
    0x2D,  // Basque
    0x36,  // Afrikaans
    0x04,  // Chinese (Traditional)
    0x04,  // Chinese (Simplified)
    0x21,  // Indonesian
    0x3E,  // Malay
    0x0F,  // Icelandic
    0x1F,  // Turkish
    0x14,  // Norwegian
};

std::uint16_t CatalogueBase = kCatalogueFirstBase;
std::string UpgraderPath;

std::uint16_t CatalogueBaseOf(TauAutoUpgraderLanguage language) {
  const auto k = static_cast<std::uint16_t>(language);
  return static_cast<std::uint16_t>((k - 1) * kCatalogueBlockSize + kCatalogueFirstBase);
}

TauAutoUpgraderLanguage CatalogueLanguageForLangId(std::uint16_t langId) {
  const int primary = langId % 1024;
  const int sub = langId >> 10;
  if (primary == 0x16)
    return sub == 1 ? TauAutoUpgraderLanguage::wlPortugueseBrazilian : TauAutoUpgraderLanguage::wlPortuguese;
  if (primary == 0x04)
    return sub == 2 ? TauAutoUpgraderLanguage::wlChineseSimplified : TauAutoUpgraderLanguage::wlChineseTraditional;
  for (int k = 1; k <= kCatalogueLanguageCount; ++k)
    if (LanguagePrimaryIds[k] == primary) return static_cast<TauAutoUpgraderLanguage>(k);
  return TauAutoUpgraderLanguage::wlEnglish;
}

TauAutoUpgraderLanguage DetectCatalogueLanguage() {
  const TauAutoUpgraderLanguage language = CatalogueLanguageForLangId(platform::GetSystemDefaultLangID());
  CatalogueBase = CatalogueBaseOf(language);
  return language;
}

void ApplyCatalogueLanguage(TauAutoUpgraderLanguage language) {
  if (language == TauAutoUpgraderLanguage::wlAuto)
    DetectCatalogueLanguage();
  else
    CatalogueBase = CatalogueBaseOf(language);
}

std::string GetCatalogueText(int N) {
  return platform::LoadStr(static_cast<unsigned>(static_cast<int>(CatalogueBase) + N));
}

std::string FormatCatalogueText(int N, std::initializer_list<platform::FormatArg> Args) {
  return platform::Format(GetCatalogueText(N), Args);
}

void ShowCatalogueMessageText(const std::string& Text, unsigned Flags) {
  platform::Application->MessageBox(Text, GetCatalogueText(0), Flags);
}

void ShowCatalogueMessage(std::uint8_t N, unsigned Flags) { ShowCatalogueMessageText(GetCatalogueText(N), Flags); }

void AutoUpgraderInitialization() {
  DetectCatalogueLanguage();
  std::string folder;
  GetTempFolder(folder);
  UpgraderPath = folder + "Upgrader3.exe";
}

void AutoUpgraderFinalization() { UpgraderPath.clear(); }

}  // namespace qorv
