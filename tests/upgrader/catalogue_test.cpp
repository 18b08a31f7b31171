// The message catalogue: language choice, the compiled tables, formatting and
// the message box, against the string table linked into this test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/core/Exceptions.h"
#include "platform/system/Environment.h"
#include "platform/system/Resources.h"
#include "support/auUtils.h"
#include "upgrader/auAutoUpgrader.h"

using namespace qorv;
using L = TauAutoUpgraderLanguage;

namespace {

// Entry 0 of each block identifies it; the texts are the shipped ones,
// oddities included.
const char* const kEntry0[kCatalogueLanguageCount + 1] = {
    nullptr,
    "Application update wizard",
    "Мастер обновления приложений",
    "Upgrade Anwendungsassistent",
    "Expert de mise à jour d'application",
    "Asistente de actualización",
    "Actualização do Software",
    "Ajudante de Atualização Aplicação",
    "Wizard di Applicazione di aggiornamento",
    "Upgrade wizard",
    "Programopdatering",
    "Programuppdateringsguide",
    "Ohjelman päivitysvelho",
    "Tarkvara uuenduse viisard",
    "Майcтер поновлення програм",
    "Master modernizacji aplikacji",
    "Průvodce aktualizace programu",
    "Alkalmazásfrissítő varázsló",
    "Expertul de actualizare a aplicaţiei",
    "Assistent d'actualització",
    "Programa eguneratzeko laguntzailea",
    "Applikasie dateringstel",
    "軟體升級精靈",
    "软件升级精灵",
    "Wizard Pembaruan Aplikasition",
    "Wizad pengemaskini aplikasi",
    "Uppfærsla hugbúnaðar",
    "Gücelleme Sihirbazı",
    "Programoppdatering",
};

// Restores automatic language choice after a test fixed one.
class CatalogueTest : public ::testing::Test {
protected:
  void TearDown() override { ApplyCatalogueLanguage(L::wlAuto); }
};

struct LanguageRow {
  std::uint16_t langId;
  const char* locale;
  L language;
  unsigned base;
};

const LanguageRow kLanguageRows[] = {
    {0x0409, "en_US", L::wlEnglish, 41000},
    {0x0809, "en_GB", L::wlEnglish, 41000},
    {0x0407, "de_DE", L::wlGerman, 41100},
    {0x0416, "pt_BR", L::wlPortugueseBrazilian, 41300},
    {0x0816, "pt_PT", L::wlPortuguese, 41250},
    {0x0804, "zh_CN", L::wlChineseSimplified, 42100},
    {0x0404, "zh_TW", L::wlChineseTraditional, 42050},
    {0x0C04, "zh_HK", L::wlChineseTraditional, 42050},
    {0x1004, "zh_SG", L::wlChineseTraditional, 42050},
    {0x0814, "nn_NO", L::wlNorwegian, 42350},
    {0x0411, "ja_JP", L::wlEnglish, 41000},
    {0x041A, "hr_HR", L::wlEnglish, 41000},
    {0x0419, "ru_RU", L::wlRussian, 41050},
    {0x041F, "tr_TR", L::wlTurkish, 42300},
};

}  // namespace

TEST_F(CatalogueTest, LanguageFromSystemLanguageId) {
  for (const LanguageRow& r : kLanguageRows) {
    SCOPED_TRACE(r.locale);
    const L language = CatalogueLanguageForLangId(r.langId);
    EXPECT_EQ(language, r.language);
    EXPECT_EQ(CatalogueBaseOf(language), r.base);
  }
}

TEST_F(CatalogueTest, LanguageFromLinuxLocaleNames) {
  const char* const saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  for (const LanguageRow& r : kLanguageRows) {
    SCOPED_TRACE(r.locale);
    EXPECT_EQ(platform::LangIdFromLocaleName(std::string(r.locale) + ".UTF-8"), r.langId);
    setenv("LC_ALL", (std::string(r.locale) + ".UTF-8").c_str(), 1);
    EXPECT_EQ(DetectCatalogueLanguage(), r.language);
    EXPECT_EQ(CatalogueBase, r.base);
  }
  if (saved)
    setenv("LC_ALL", savedValue.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST_F(CatalogueTest, EveryBlockHasItsEntryZeroAndExactly31Entries) {
  for (int k = 1; k <= kCatalogueLanguageCount; ++k) {
    SCOPED_TRACE("language " + std::to_string(k));
    const unsigned base = CatalogueBaseOf(static_cast<L>(k));
    EXPECT_EQ(base, 41000U + 50U * static_cast<unsigned>(k - 1));
    EXPECT_EQ(platform::LoadStr(base), kEntry0[k]);
    std::string text;
    for (unsigned n = 0; n < 50; ++n) {
      SCOPED_TRACE("entry " + std::to_string(n));
      const bool present = platform::FindStringResource(base + n, text);
      EXPECT_EQ(present, n <= 30);
      if (n <= 30) {
        EXPECT_FALSE(text.empty());
      }
    }
  }
  EXPECT_EQ(platform::LoadStr(kTitlePlaceholderId), "<AppTitle>");
  EXPECT_EQ(platform::LoadStr(kTitleMarkerId), "Zeltra");
  EXPECT_EQ(platform::LoadStr(42381), "");
}

TEST_F(CatalogueTest, EnglishFormatting) {
  ApplyCatalogueLanguage(L::wlEnglish);
  EXPECT_EQ(FormatCatalogueText(8, {0, 5, 7}), "Estimated time left: 0:05:07");
  EXPECT_EQ(FormatCatalogueText(6, {1536 / 1024.0}), "File size: 1.5 Kb");
  EXPECT_EQ(FormatCatalogueText(9, {2, 3}), "Downloading 2 of 3");
  EXPECT_EQ(GetCatalogueText(29),
            "Access to remote file \"%s\" is password protected.\n\nPlease enter your username and password "
            "(received after registration) to continue software upgrade.");
  EXPECT_EQ(GetCatalogueText(31), "");
}

TEST_F(CatalogueTest, EveryLanguageFormatsTheCallersArguments) {
  for (int k = 1; k <= kCatalogueLanguageCount; ++k) {
    SCOPED_TRACE("language " + std::to_string(k));
    ApplyCatalogueLanguage(static_cast<L>(k));
    try {
      const std::string time = FormatCatalogueText(8, {0, 5, 7});
      EXPECT_NE(time.find("0:05:07"), std::string::npos) << time;
      EXPECT_NE(FormatCatalogueText(6, {1.5}).find("1"), std::string::npos);
      FormatCatalogueText(7, {12.5F});
      FormatCatalogueText(9, {1, 2});
      FormatCatalogueText(10, {"Qorv"});
      const std::string prompt = FormatCatalogueText(23, {"Qorv", "\nnews\n"});
      EXPECT_NE(prompt.find("\nnews\n"), std::string::npos);
      FormatCatalogueText(26, {"portal.example"});
      FormatCatalogueText(28, {"app.exe"});
      EXPECT_NE(FormatCatalogueText(29, {"app.exe"}).find("app.exe"), std::string::npos);
    } catch (const platform::Exception& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

TEST_F(CatalogueTest, FixedLanguageAndBackToAutomatic) {
  const char* const saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  ApplyCatalogueLanguage(L::wlAuto);
  EXPECT_EQ(CatalogueBase, 41100);
  EXPECT_EQ(GetCatalogueText(0), "Upgrade Anwendungsassistent");
  ApplyCatalogueLanguage(L::wlRussian);
  EXPECT_EQ(CatalogueBase, 41050);
  ApplyCatalogueLanguage(L::wlAuto);
  EXPECT_EQ(CatalogueBase, 41100);
  if (saved)
    setenv("LC_ALL", savedValue.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST_F(CatalogueTest, ModuleStartUpChoosesTheLanguageAndTheApplierPath) {
  const char* const saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  setenv("LC_ALL", "pt_BR.UTF-8", 1);
  CatalogueBase = 0;
  AutoUpgraderInitialization();
  EXPECT_EQ(CatalogueBase, 41300);
  if (saved)
    setenv("LC_ALL", savedValue.c_str(), 1);
  else
    unsetenv("LC_ALL");
  ASSERT_FALSE(UpgraderPath.empty());
  EXPECT_EQ(UpgraderPath.substr(UpgraderPath.size() - 13), "Upgrader3.exe");
  std::string folder;
  GetTempFolder(folder);
  EXPECT_EQ(UpgraderPath, folder + "Upgrader3.exe");
  AutoUpgraderFinalization();
  EXPECT_EQ(UpgraderPath, "");
}
