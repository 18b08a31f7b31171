// auAutoUpgrader: the upgrade module's process-wide values and the message
// catalogue.
//
// Every text the upgrade shows comes from one catalogue of 31 entries held
// in 28 languages in the executable's string table (ids 41000 + 50*(k-1) + N
// for entry N of language k, and 40997/40998 for the title placeholder and
// marker word). One process-wide block base, CatalogueBase, selects the
// language; it follows the system's default language unless a language is
// fixed through ApplyCatalogueLanguage (the upgrade component's Wizard.Language
// setting).
//
// Start-up: the module's initialisation, which the program's entry runs
// before any form exists, chooses the language from the system and computes
// UpgraderPath, the place the applier is written to (the temporary folder
// followed by "Upgrader3.exe"); the module's end clears it.
//
// Threads: everything here runs on the main thread.
// Failures: a missing text is an empty string; formatting with arguments that
// do not fit the entry raises the platform's EConvertError, which cannot
// happen with the shipped tables, whose placeholders are checked at build
// time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/core/SysUtils.h"

namespace qorv {

enum class TauAutoUpgraderLanguage : std::uint8_t {
  wlAuto = 0,
  wlEnglish,
  wlRussian,
  wlGerman,
  wlFrench,
  wlSpanish,
  wlPortuguese,
  wlPortugueseBrazilian,
  wlItalian,
  wlDutch,
  wlDanish,
  wlSwedish,
  wlFinnish,
  wlEstonian,
  wlUkrainian,
  wlPolish,
  wlCzech,
  wlHungarian,
  wlRomanian,
  wlCatalan,
  wlBasque,
  wlAfrikaans,
  wlChineseTraditional,
  wlChineseSimplified,
  wlIndonesian,
  wlMalay,
  wlIcelandic,
  wlTurkish,
  wlNorwegian,
};

inline constexpr int kCatalogueLanguageCount = 28;
inline constexpr int kCatalogueEntryCount = 31;
inline constexpr unsigned kCatalogueFirstBase = 41000;
inline constexpr unsigned kCatalogueBlockSize = 50;
inline constexpr unsigned kTitlePlaceholderId = 40997;  // "<AppTitle>"
inline constexpr unsigned kTitleMarkerId = 40998;       // "Zeltra"

// Primary language id (low 10 bits of a language id) of each language,
// indexed by ordinal 1..28; index 0 is unused.
extern const std::int32_t LanguagePrimaryIds[kCatalogueLanguageCount + 1];

// Resource id of entry 0 of the selected language.
extern std::uint16_t CatalogueBase;
// Where the applier program is written before it is started.
extern std::string UpgraderPath;

// The block base of a language ordinal (1..28), in 16-bit arithmetic.
std::uint16_t CatalogueBaseOf(TauAutoUpgraderLanguage language);
// The language a system default language id selects (never wlAuto).
TauAutoUpgraderLanguage CatalogueLanguageForLangId(std::uint16_t langId);
// Chooses the language from the system's default language, stores its block
// in CatalogueBase and returns it.
TauAutoUpgraderLanguage DetectCatalogueLanguage();
// What a change of the language setting does: wlAuto detects again; any
// other language fixes the block whatever the system language. The setting's
// owner skips a value equal to the one it holds.
void ApplyCatalogueLanguage(TauAutoUpgraderLanguage language);

// The module's start-up and end, called by the program's entry in module
// order (this module before the portal window's).
void AutoUpgraderInitialization();
void AutoUpgraderFinalization();

std::string GetCatalogueText(int N);
std::string FormatCatalogueText(int N, std::initializer_list<platform::FormatArg> Args);
// The application's modal message box with Text, the caption of entry 0 and
// the given style flags; the answer is not returned.
void ShowCatalogueMessageText(const std::string& Text, unsigned Flags);
void ShowCatalogueMessage(std::uint8_t N, unsigned Flags);

}  // namespace qorv
