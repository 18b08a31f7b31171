// Catalogue message boxes, seen through the headless backend's responder.
#include <gtest/gtest.h>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"
#include "upgrader/auAutoUpgrader.h"

using namespace qorv;
using namespace qorv::platform;

TEST(CatalogueMessages, ShowCatalogueMessageUsesEntryZeroAsCaption) {
  SetUIBackend(UIBackendKind::Headless);
  Application->Initialize();
  ApplyCatalogueLanguage(TauAutoUpgraderLanguage::wlEnglish);
  std::vector<MessageBoxRequest> seen;
  SetHeadlessResponder({[&](const MessageBoxRequest& box) {
                          seen.push_back(box);
                          return IDOK;
                        },
                        nullptr});
  ShowCatalogueMessage(24, 0x40);
  ApplyCatalogueLanguage(TauAutoUpgraderLanguage::wlGerman);
  ShowCatalogueMessageText("Text", 0x10);
  ApplyCatalogueLanguage(TauAutoUpgraderLanguage::wlAuto);

  ASSERT_EQ(seen.size(), 2U);
  EXPECT_EQ(seen[0].Text, "Newer version not found. You actually are\nusing most recent version of this program.");
  EXPECT_EQ(seen[0].Caption, "Application update wizard");
  EXPECT_EQ(seen[0].Flags, 0x40U);
  EXPECT_EQ(seen[1].Text, "Text");
  EXPECT_EQ(seen[1].Caption, "Upgrade Anwendungsassistent");
  EXPECT_EQ(seen[1].Flags, 0x10U);
}
