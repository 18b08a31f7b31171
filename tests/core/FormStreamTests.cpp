#include <gtest/gtest.h>

#include <map>

#include "TestClasses.h"

namespace qorv::platform::testing {
namespace {

class FormStreamTest : public ::testing::Test {
protected:
  void SetUp() override {
    RegisterTestClasses();
    EventLog().clear();
  }
};

TWidget* widget(TComponent& root, const char* name) { return dynamic_cast<TWidget*>(root.FindComponent(name)); }

TEST_F(FormStreamTest, RoundTripKeepsEveryKindOfValue) {
  TTestForm source(nullptr);
  source.SetName("Form1");
  auto* w = new TWidget(&source);
  w->SetName("Timer1");
  w->SetInterval(-250);
  w->Enabled = false;
  w->Caption = "It's\r\n\"two\" lines \xC3\xA4 #1";
  w->Mode = cmBlue;
  w->Options = TWidgetOptions{woFast, woLoud};
  w->Ratio = -0.1;
  w->Count = 9000000000LL;
  w->Small = 255;
  w->RestartParams = " ";
  w->User = "me";
  w->Password = "p'w";
  w->Info()->URL = "http://127.0.0.1/Version.inf";
  w->Info()->Mode = cmGreen;
  w->Info()->Files()->Add("http://127.0.0.1/Qorv.exe");
  w->Info()->Files()->Add("");
  w->OnTimer = TNotifyEvent::Of(&source, &TTestForm::WidgetTimer, "WidgetTimer");
  auto* second = new TWidget(&source);
  second->SetName("Second");

  std::string text = WriteComponentToText(source);
  SCOPED_TRACE(text);

  TTestForm copy(nullptr);
  ReadComponentFromText(text, copy);
  EXPECT_EQ(copy.Name(), "Form1");
  ASSERT_EQ(copy.ComponentCount(), 2);
  TWidget* r = widget(copy, "Timer1");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Owner(), &copy);
  EXPECT_EQ(r->Interval(), -250);
  EXPECT_FALSE(r->Enabled);
  EXPECT_EQ(r->Caption, w->Caption);
  EXPECT_EQ(r->Mode, cmBlue);
  EXPECT_TRUE(r->Options == (TWidgetOptions{woFast, woLoud}));
  EXPECT_EQ(r->Ratio, -0.1);
  EXPECT_EQ(r->Count, 9000000000LL);
  EXPECT_EQ(r->Small, 255);
  EXPECT_EQ(r->RestartParams, " ");
  EXPECT_EQ(r->User, "me");
  EXPECT_EQ(r->Password, "p'w");
  EXPECT_EQ(r->Info()->URL, "http://127.0.0.1/Version.inf");
  EXPECT_EQ(r->Info()->Mode, cmGreen);
  EXPECT_EQ(r->Info()->Files()->Text(), "http://127.0.0.1/Qorv.exe\r\n\r\n");
  ASSERT_TRUE(r->OnTimer.Assigned());
  EXPECT_EQ(r->OnTimer.Data(), &copy);
  r->OnTimer(r);
  EXPECT_EQ(copy.Timers, 1);
  EXPECT_EQ(copy.LastSender, r);
  EXPECT_NE(widget(copy, "Second"), nullptr);

  // Written again, the copy gives the same text.
  EXPECT_EQ(WriteComponentToText(copy), text);
}

TEST_F(FormStreamTest, WritesOnlyWhatDiffersFromDefaultsOrTheStoredRuleAsks) {
  TTestForm form(nullptr);
  form.SetName("F");
  auto* w = new TWidget(&form);
  w->SetName("W");
  w->SetInterval(1000);  // the default
  w->Hidden = "secret";  // never stored
  std::string text = WriteComponentToText(form);
  // Count has no declared default, so it is written even at 0.
  EXPECT_EQ(text,
            "object F: TTestForm\n"
            "  object W: TWidget\n"
            "    Count = 0\n"
            "  end\n"
            "end\n");

  w->SetInterval(1001);
  w->RestartParams = "/other";
  w->Options = TWidgetOptions{};
  text = WriteComponentToText(form);
  EXPECT_NE(text.find("    Interval = 1001\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    RestartParams = '/other'\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Options = []\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Hidden"), std::string::npos) << text;
  EXPECT_EQ(text.find("LInfo"), std::string::npos) << text;
}

TEST_F(FormStreamTest, BinaryPseudoPropertyIsWrittenAsHexAndReadBack) {
  TTestForm form(nullptr);
  form.SetName("F");
  auto* w = new TWidget(&form);
  w->SetName("W");
  w->User = "ab";
  std::string text = WriteComponentToText(form);
  // N = 3, L = 2, then the two letters.
  EXPECT_NE(text.find("    LInfo = {\n      03026162}\n"), std::string::npos) << text;

  TTestForm copy(nullptr);
  ReadComponentFromText(text, copy);
  EXPECT_EQ(widget(copy, "W")->User, "ab");
  EXPECT_EQ(widget(copy, "W")->Password, "");
}

TEST_F(FormStreamTest, ReadsHandWrittenValues) {
  const char* text =
      "object Main: TTestForm\n"
      "  object W: TWidget\n"
      "    Interval = $10\n"
      "    Caption = 'It''s'#13#10'two' +\n"
      "      ' lines'#$41\n"
      "    Mode = CMGREEN\n"
      "    Options = [woLoud , woFast]\n"
      "    Ratio = 25\n"
      "    Count = -7\n"
      "    Enabled = false\n"
      "    Info.URL = 'x'\n"
      "    Info.Files.Strings = (\n"
      "      'one'\n"
      "      'two')\n"
      "    LInfo = {\n"
      "      0302 61\n"
      "      62}\n"
      "    OnAsk = WidgetAsk\n"
      "  end\n"
      "end\n";
  TTestForm form(nullptr);
  ReadComponentFromText(text, form);
  TWidget* w = widget(form, "W");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Interval(), 16);
  EXPECT_EQ(w->Caption, "It's\r\ntwo linesA");
  EXPECT_EQ(w->Mode, cmGreen);
  EXPECT_TRUE(w->Options == (TWidgetOptions{woFast, woLoud}));
  EXPECT_EQ(w->Ratio, 25.0);
  EXPECT_EQ(w->Count, -7);
  EXPECT_FALSE(w->Enabled);
  EXPECT_EQ(w->Info()->URL, "x");
  EXPECT_EQ(w->Info()->Files()->Count(), 2);
  EXPECT_EQ(w->User, "ab");
  ASSERT_TRUE(w->OnAsk.Assigned());
  bool answer = false;
  w->OnAsk(w, "yes?", answer);
  EXPECT_TRUE(answer);
  EXPECT_EQ(w->OnAsk.Name(), "WidgetAsk");
}

TEST_F(FormStreamTest, LoadingStatesAndLoadedOrder) {
  const char* text =
      "object Main: TTestForm\n"
      "  object A: TWidget\n"
      "    Interval = 5\n"
      "    object B: TWidget\n"
      "    end\n"
      "  end\n"
      "  object C: TWidget\n"
      "  end\n"
      "end\n";
  TTestForm form(nullptr);
  ReadComponentFromText(text, form);
  TWidget* a = widget(form, "A");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->StateSeenBySetter.Contains(csLoading));
  EXPECT_TRUE(a->StateSeenBySetter.Contains(csReading));
  // Nested objects belong to the root.
  EXPECT_EQ(widget(form, "B")->Owner(), &form);
  EXPECT_EQ(EventLog(), (std::vector<std::string>{"Loaded A", "Loaded B", "Loaded C", "Loaded Main"}));
  for (int i = 0; i < form.ComponentCount(); ++i) EXPECT_FALSE(form.Components(i)->ComponentState().Contains(csLoading));
  EXPECT_FALSE(form.ComponentState().Contains(csLoading));
}

TEST_F(FormStreamTest, ReusesComponentsTheRootAlreadyOwns) {
  TTestForm form(nullptr, true);
  TWidget* fixed = form.Fixed;
  ReadComponentFromText("object Main: TTestForm\n  object Fixed: TWidget\n    Interval = 3000\n  end\nend\n", form);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.Fixed, fixed);
  EXPECT_EQ(fixed->Interval(), 3000);
}

TEST_F(FormStreamTest, ErrorsNameTheProblemAndUndoCreatedComponents) {
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"object M: TTestForm\n  object X: TNoSuchClass\n  end\nend\n", "Line 2: Class TNoSuchClass not found"},
      {"object M: TTestForm\n  object W: TWidget\n    Bogus = 1\n  end\nend\n",
       "Line 3: Error reading W.Bogus: Property Bogus does not exist"},
      {"object M: TTestForm\n  object W: TWidget\n    Info.Nope = 1\n  end\nend\n",
       "Line 3: Error reading W.Info.Nope: Property Nope does not exist"},
      {"object M: TTestForm\n  object W: TWidget\n    Mode = cmPink\n  end\nend\n",
       "Line 3: Error reading W.Mode: Invalid property value: cmPink is not a member of TColorMode"},
      {"object M: TTestForm\n  object W: TWidget\n    Interval = 'x'\n  end\nend\n",
       "Line 3: Error reading W.Interval: Invalid property value: an integer expected"},
      {"object M: TTestForm\n  object W: TWidget\n    Small = 256\n  end\nend\n",
       "Line 3: Error reading W.Small: Value 256 out of range for the property"},
      {"object M: TTestForm\n  object W: TWidget\n    OnTimer = Missing\n  end\nend\n",
       "Line 3: Error reading W.OnTimer: Method Missing not found in TTestForm"},
      {"object M: TTestForm\n  object W: TWidget\n    OnTimer = WidgetAsk\n  end\nend\n",
       "Line 3: Error reading W.OnTimer: Method WidgetAsk does not match the parameters of OnTimer"},
      {"object M: TTestForm\n  object W: TWidget\n    Caption = 'open\n  end\nend\n", "Line 3: unterminated string"},
      {"object M: TTestForm\n  object W: TWidget\n  end\n", "Line 4: end expected"},
      {"object M: TWidget\nend\n", "Line 1: the description is of a TWidget, not of a TTestForm"},
      {"object M: TTestForm\n  object W: TWidget\n  end\n  object W: TWidget\n  end\nend\n",
       "Line 4: W appears twice in the description"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TTestForm form(nullptr);
    try {
      ReadComponentFromText(row.text, form);
      ADD_FAILURE() << "no error";
    } catch (const EFilerError& e) {
      EXPECT_EQ(e.Message(), row.message);
    } catch (const Exception& e) {
      // Setter and naming errors keep their own class.
      EXPECT_EQ(e.Message(), row.message) << e.ClassName();
    }
    EXPECT_EQ(form.ComponentCount(), 0);
    EXPECT_FALSE(form.ComponentState().Contains(csLoading));
    EXPECT_FALSE(form.ComponentState().Contains(csReading));
  }
}

TEST_F(FormStreamTest, UnknownClassIsEClassNotFound) {
  TTestForm form(nullptr);
  EXPECT_THROW(ReadComponentFromText("object M: TTestForm\n  object X: TNope\n  end\nend\n", form), EClassNotFound);
  EXPECT_THROW(FindClass("TNope"), EClassNotFound);
  EXPECT_EQ(&FindClass("twidget"), &TWidget::StaticClassInfo());
}

TEST_F(FormStreamTest, ResourceHookGivesTheTextByName) {
  std::map<std::string, std::string> resources{
      {"TTESTFORM", "object Main: TTestForm\n  object W: TWidget\n    Interval = 7\n  end\nend\n"}};
  SetFormResourceSource([&](const std::string& name, std::string& text) {
    auto it = resources.find(name);
    if (it == resources.end()) return false;
    text = it->second;
    return true;
  });
  TTestForm form(nullptr);
  EXPECT_FALSE(ReadComponentResource("MISSING", form));
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_TRUE(ReadComponentResource("TTESTFORM", form));
  EXPECT_EQ(widget(form, "W")->Interval(), 7);
  SetFormResourceSource(nullptr);
  TTestForm other(nullptr);
  EXPECT_FALSE(ReadComponentResource("TTESTFORM", other));
}

}  // namespace
}  // namespace qorv::platform::testing
