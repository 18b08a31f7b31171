// Components with one published property of each kind, for the core tests.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/FormStream.h"
#include "platform/core/Streams.h"
#include "platform/core/Strings.h"

namespace qorv::platform::testing {

// Every Loaded and destructor call appends "<name>" here, in call order.
inline std::vector<std::string>& EventLog() {
  static std::vector<std::string> log;
  return log;
}

enum TColorMode { cmRed, cmGreen, cmBlue };
inline const EnumTypeInfo ColorModeInfo{"TColorMode", {"cmRed", "cmGreen", "cmBlue"}};
enum TWidgetOption { woFast, woSafe, woLoud };
inline const EnumTypeInfo WidgetOptionInfo{"TWidgetOption", {"woFast", "woSafe", "woLoud"}};
using TWidgetOptions = TSet<TWidgetOption>;

using TAskEvent = Method<void(TObject* Sender, const std::string& Question, bool& Answer)>;

class TInfoSettings : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  TInfoSettings() = default;
  ~TInfoSettings() override { delete files_; }
  std::string URL;
  TColorMode Mode = cmRed;
  TStringList* Files() const { return files_; }

private:
  TStringList* files_ = new TStringList;
};

inline const TClassInfo& TInfoSettings::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TInfoSettings>("TInfoSettings", TPersistent::StaticClassInfo())
                                     .String("URL", &TInfoSettings::URL, &TInfoSettings::URL)
                                     .Enumeration("Mode", ColorModeInfo, &TInfoSettings::Mode, &TInfoSettings::Mode, cmRed)
                                     .Object("Files", &TInfoSettings::Files)
                                     .Build();
  return info;
}

class TWidget : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TWidget(TComponent* AOwner) : TComponent(AOwner) {}
  ~TWidget() override {
    EventLog().push_back("~" + Name());
    delete info_;
  }

  int Interval() const { return interval_; }
  void SetInterval(int v) {
    interval_ = v;
    StateSeenBySetter = ComponentState();
  }
  bool Enabled = true;
  std::string Caption;
  TColorMode Mode = cmRed;
  TWidgetOptions Options{woSafe};
  double Ratio = 0;
  std::int64_t Count = 0;
  std::uint8_t Small = 0;
  std::string Hidden;                          // never stored
  std::string RestartParams = "/afterupgrade";  // stored only when it differs
  std::string User, Password;                   // stored as LInfo
  TNotifyEvent OnTimer;
  TAskEvent OnAsk;
  TInfoSettings* Info() const { return info_; }
  TComponentState StateSeenBySetter;

  void Loaded() override {
    TComponent::Loaded();
    EventLog().push_back("Loaded " + Name());
  }

protected:
  void DefineProperties(TFiler& Filer) override {
    TComponent::DefineProperties(Filer);
    Filer.DefineBinaryProperty(
        "LInfo",
        [this](TStream& s) {
          unsigned char n = 0, l = 0;
          s.ReadBuffer(&n, 1);
          s.ReadBuffer(&l, 1);
          std::string bytes(n - 1u, '\0');
          s.ReadBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
          User = bytes.substr(0, l);
          Password = bytes.substr(l);
        },
        [this](TStream& s) {
          auto n = static_cast<unsigned char>(User.size() + Password.size() + 1);
          auto l = static_cast<unsigned char>(User.size());
          s.WriteBuffer(&n, 1);
          s.WriteBuffer(&l, 1);
          std::string bytes = User + Password;
          s.WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        },
        !User.empty() || !Password.empty());
  }

private:
  int interval_ = 1000;
  TInfoSettings* info_ = new TInfoSettings;
};

inline const TClassInfo& TWidget::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TWidget>("TWidget", TComponent::StaticClassInfo())
          .Integer("Interval", &TWidget::Interval, &TWidget::SetInterval, 1000)
          .Boolean("Enabled", &TWidget::Enabled, &TWidget::Enabled, true)
          .String("Caption", &TWidget::Caption, &TWidget::Caption)
          .Enumeration("Mode", ColorModeInfo, &TWidget::Mode, &TWidget::Mode, cmRed)
          .Set("Options", WidgetOptionInfo, &TWidget::Options, &TWidget::Options, TWidgetOptions{woSafe})
          .Float("Ratio", &TWidget::Ratio, &TWidget::Ratio)
          .Integer("Count", &TWidget::Count, &TWidget::Count, NoDefault)
          .Integer("Small", &TWidget::Small, &TWidget::Small, 0)
          .String("Hidden", &TWidget::Hidden, &TWidget::Hidden, "", StoredRule::Never())
          .String("RestartParams", &TWidget::RestartParams, &TWidget::RestartParams, NoDefault,
                  [](const TWidget& w) { return w.RestartParams != "/afterupgrade"; })
          .Object("Info", &TWidget::Info)
          .Event("OnTimer", &TWidget::OnTimer)
          .Event("OnAsk", &TWidget::OnAsk)
          .Creatable()
          .Build();
  return info;
}

// A root with published handlers; owns Fixed from construction on, as a
// form owns the components its class declares.
class TTestForm : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TTestForm(TComponent* AOwner, bool withFixed = false) : TComponent(AOwner) {
    if (withFixed) {
      Fixed = new TWidget(this);
      Fixed->SetName("Fixed");
    }
  }
  TWidget* Fixed = nullptr;
  int Timers = 0;
  TObject* LastSender = nullptr;

  void WidgetTimer(TObject* Sender) {
    ++Timers;
    LastSender = Sender;
  }
  void WidgetAsk(TObject*, const std::string& Question, bool& Answer) { Answer = Question == "yes?"; }

  void Loaded() override {
    TComponent::Loaded();
    EventLog().push_back("Loaded " + Name());
  }
};

inline const TClassInfo& TTestForm::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TTestForm>("TTestForm", TComponent::StaticClassInfo())
                                     .PublishedMethod("WidgetTimer", &TTestForm::WidgetTimer)
                                     .PublishedMethod("WidgetAsk", &TTestForm::WidgetAsk)
                                     .Build();
  return info;
}

// Registers the test classes once.
inline void RegisterTestClasses() {
  static const bool done = [] {
    RegisterClasses({&TWidget::StaticClassInfo(), &TTestForm::StaticClassInfo()});
    return true;
  }();
  (void)done;
}

}  // namespace qorv::platform::testing
