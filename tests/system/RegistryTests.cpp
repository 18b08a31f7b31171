#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/system/Registry.h"

namespace qorv::platform {
namespace {

using test::ScopedEnv;
using test::TempFolder;
using test::writeText;

const char kRemoteAccess[] = "System\\CurrentControlSet\\Services\\RemoteAccess";

class TestRegistry : public ::testing::Test {
protected:
  void TearDown() override { ClearTestRegistry(); }
};

TEST_F(TestRegistry, OpensKeysAndReadsTypedValues) {
  SetTestRegistry({
      {"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\RemoteAccess", "Remote Connection", REG_BINARY,
       std::string("\x01\x00\x00\x00", 4)},
      {"HKLM\\Software\\Qorv", "Count", REG_DWORD, RegistryDword(0x01020304)},
      {"HKCR\\.html", "", REG_SZ, "htmlfile"},
      {"HKCR\\htmlfile\\shell\\open\\command", "", REG_SZ, "\"C:\\b.exe\" \"%1\""},
      {"HKCR\\htmlfile\\shell\\edit", "", REG_NONE, ""},
  });
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, kRemoteAccess, &key), static_cast<LSTATUS>(ERROR_SUCCESS));
  unsigned char data[4] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueEx(key, "remote connection", &type, data, &size), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 4U);
  EXPECT_EQ(data[0], 1);
  size = 2;
  EXPECT_EQ(RegQueryValueEx(key, "Remote Connection", nullptr, data, &size), static_cast<LSTATUS>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 4U);
  EXPECT_EQ(RegQueryValueEx(key, "Other", nullptr, data, &size), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegCloseKey(key), static_cast<LSTATUS>(ERROR_SUCCESS));

  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\qorv", 0, KEY_READ, &key), static_cast<LSTATUS>(ERROR_SUCCESS));
  DWORD count = 0;
  size = sizeof count;
  EXPECT_EQ(RegQueryValueEx(key, "Count", &type, reinterpret_cast<unsigned char*>(&count), &size),
            static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(count, 0x01020304U);
  RegCloseKey(key);

  // Text values count their zero byte; a path from "\" starts at the root.
  HKEY html = nullptr;
  ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, ".html", &html), static_cast<LSTATUS>(ERROR_SUCCESS));
  char text[64] = {};
  size = 0;
  EXPECT_EQ(RegQueryValueEx(html, "", &type, nullptr, &size), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(size, 9U);
  std::int32_t textSize = sizeof text;
  EXPECT_EQ(RegQueryValue(html, "\\htmlfile\\shell\\open\\command", text, &textSize), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(text), "\"C:\\b.exe\" \"%1\"");
  EXPECT_EQ(textSize, 16);
  textSize = sizeof text;
  EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\edit", text, &textSize), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(text), "");
  RegCloseKey(html);

  // Subkeys in the order given, then the end.
  HKEY shell = nullptr;
  ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "htmlfile\\shell", &shell), static_cast<LSTATUS>(ERROR_SUCCESS));
  char name[16];
  EXPECT_EQ(RegEnumKey(shell, 0, name, sizeof name), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(name), "open");
  EXPECT_EQ(RegEnumKey(shell, 1, name, sizeof name), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(name), "edit");
  EXPECT_EQ(RegEnumKey(shell, 2, name, sizeof name), static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(RegEnumKey(shell, 0, name, 3), static_cast<LSTATUS>(ERROR_MORE_DATA));
  RegCloseKey(shell);

  EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "Software", &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key, nullptr);

  // Back to the desktop view, which has no such key.
  ClearTestRegistry();
  EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, kRemoteAccess, &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST(DesktopRegistry, ExecLinesBecomeOpenCommands) {
  struct Row {
    const char* exec;
    const char* command;
  };
  const Row rows[] = {
      {"/opt/browser/bin/browser --new-window %U", "\"/opt/browser/bin/browser\" --new-window \"%1\""},
      {"/usr/lib/firefox/firefox %u", "\"/usr/lib/firefox/firefox\" \"%1\""},
      {"/usr/bin/chromium --incognito %U", "\"/usr/bin/chromium\" --incognito \"%1\""},
      {"epiphany %U", "\"epiphany\" \"%1\""},
      {"\"/opt/My Browser/run\" %f", "\"/opt/My Browser/run\" \"%1\""},
      {"browser --icon %i --class=%c %F", "\"browser\" --icon --class= \"%1\""},
      {"browser --url=%u", "\"browser\" --url=%1"},
      {"browser \"--title=a b\" --share=100%%", "\"browser\" \"--title=a b\" --share=100%"},
      {"browser \"--say=\\\"hi there\\\"\"", "\"browser\" \"--say=\\\"hi there\\\"\""},
      // A wrapper that only sets the environment: the program after it.
      {"env BAMF_DESKTOP_FILE_HINT=/x/firefox.desktop /snap/bin/firefox %u", "\"/snap/bin/firefox\" \"%1\""},
      // A program that needs more than the address (a sandbox runner) gives
      // no command: its program alone could not open the address.
      {"/usr/bin/flatpak run --branch=stable org.example.Browser @@u %U @@", ""},
      {"browser 100%%", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.exec);
    EXPECT_EQ(DesktopExecToCommandLine(row.exec), row.command);
  }
}

// A desktop of our own: XDG folders under a temporary folder, with one
// browser entry and the associations that make it the default.
class DesktopAssociations : public ::testing::Test {
protected:
  DesktopAssociations()
      : dataHome_("XDG_DATA_HOME", (dir_ / "data").c_str()),
        dataDirs_("XDG_DATA_DIRS", (dir_ / "sysdata").c_str()),
        configHome_("XDG_CONFIG_HOME", (dir_ / "config").c_str()),
        configDirs_("XDG_CONFIG_DIRS", (dir_ / "sysconfig").c_str()),
        desktop_("XDG_CURRENT_DESKTOP", nullptr) {
    for (const char* folder : {"data", "data/applications", "sysdata", "sysdata/applications", "config", "sysconfig"}) {
      ::mkdir((dir_ / folder).c_str(), 0700);
    }
    writeText(dir_ / "data/applications/browser.desktop",
              "[Desktop Entry]\nType=Application\nName=Browser\nExec=/opt/browser/bin/browser --new-window %U\n"
              "MimeType=text/html;\n");
    writeText(dir_ / "sysdata/applications/other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\nExec=other %u\n");
  }
  ~DesktopAssociations() override { ClearTestRegistry(); }

  std::string query(const char* path) {
    char text[256] = {};
    std::int32_t size = sizeof text;
    const LSTATUS status = RegQueryValue(HKEY_CLASSES_ROOT, path, text, &size);
    return status == static_cast<LSTATUS>(ERROR_SUCCESS) ? std::string(text) : "<" + std::to_string(status) + ">";
  }

  TempFolder dir_;
  ScopedEnv dataHome_;
  ScopedEnv dataDirs_;
  ScopedEnv configHome_;
  ScopedEnv configDirs_;
  ScopedEnv desktop_;
};

TEST_F(DesktopAssociations, DefaultBrowserAnswersTheFileTypeKeys) {
  ClearTestRegistry();
  // The first listed entry is not installed; the second one counts.
  writeText(dir_ / "config/mimeapps.list",
            "[Default Applications]\ntext/html=missing.desktop;browser.desktop;\n");
  EXPECT_EQ(query(".html"), "browser.desktop");
  EXPECT_EQ(query(".HTM"), "browser.desktop");
  EXPECT_EQ(query("browser.desktop"), "Browser");
  EXPECT_EQ(query("browser.desktop\\shell\\open\\command"), "\"/opt/browser/bin/browser\" --new-window \"%1\"");
  EXPECT_EQ(query("\\BROWSER.desktop\\Shell\\Open\\Command"), query("browser.desktop\\shell\\open\\command"));
  HKEY shell = nullptr;
  ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "browser.desktop\\shell", &shell), static_cast<LSTATUS>(ERROR_SUCCESS));
  char name[16];
  EXPECT_EQ(RegEnumKey(shell, 0, name, sizeof name), static_cast<LSTATUS>(ERROR_SUCCESS));
  EXPECT_EQ(std::string(name), "open");
  EXPECT_EQ(RegEnumKey(shell, 1, name, sizeof name), static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  RegCloseKey(shell);
  // Keys without a counterpart here do not exist.
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, kRemoteAccess, &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "missing.desktop", &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "browser.desktop\\shell\\print", &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(DesktopAssociations, FallsBackToAddedAssociationsAndTheCache) {
  struct Row {
    const char* what;
    const char* file;
    const char* content;
    const char* expected;
  };
  const Row rows[] = {
      {"added association", "config/mimeapps.list", "[Added Associations]\ntext/html=other.desktop;\n", "other.desktop"},
      {"system defaults", "sysconfig/mimeapps.list", "[Default Applications]\ntext/html=other.desktop\n",
       "other.desktop"},
      {"mime cache", "sysdata/applications/mimeinfo.cache", "[MIME Cache]\ntext/html=browser.desktop;other.desktop;\n",
       "browser.desktop"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    writeText(dir_ / row.file, row.content);
    EXPECT_EQ(query(".html"), row.expected);
    ::unlink((dir_ / row.file).c_str());
  }
  // Nothing associated: the extension key exists without a default value.
  EXPECT_EQ(query(".html"), "");
}

}  // namespace
}  // namespace qorv::platform
