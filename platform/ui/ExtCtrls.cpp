#include "platform/ui/ExtCtrls.h"

#include <algorithm>

#include "platform/ui/Forms.h"

namespace qorv::platform {

const EnumTypeInfo& BevelCutTypeInfo() {
  static const EnumTypeInfo info{"TBevelCut", {"bvNone", "bvLowered", "bvRaised", "bvSpace"}};
  return info;
}
const EnumTypeInfo& BevelShapeTypeInfo() {
  static const EnumTypeInfo info{"TBevelShape",
                                 {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"}};
  return info;
}
const EnumTypeInfo& BevelStyleTypeInfo() {
  static const EnumTypeInfo info{"TBevelStyle", {"bsLowered", "bsRaised"}};
  return info;
}

// ---------------------------------------------------------------------------

const TClassInfo& TPanel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TPanel>("TPanel", TWinControl::StaticClassInfo())
          .Enumeration("BevelOuter", BevelCutTypeInfo(), &TPanel::BevelOuter, &TPanel::SetBevelOuter, bvRaised)
          .Enumeration("BevelInner", BevelCutTypeInfo(), &TPanel::BevelInner, &TPanel::SetBevelInner, bvNone)
          .Integer("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth, 1)
          .Enumeration("Alignment", AlignmentTypeInfo(), &TPanel::Alignment, &TPanel::SetAlignment, taCenter)
          .Creatable()
          .Build();
  return info;
}

TPanel::TPanel(TComponent* AOwner) : TWinControl(AOwner) { bounds_ = {0, 0, 185, 41}; }

void TPanel::SetBevelOuter(TBevelCut Value) {
  bevelOuter_ = Value;
  Changed(ControlAspect::State);
  AlignControls();
}
void TPanel::SetBevelInner(TBevelCut Value) {
  bevelInner_ = Value;
  Changed(ControlAspect::State);
  AlignControls();
}
void TPanel::SetBevelWidth(int Value) {
  bevelWidth_ = std::max(Value, 1);
  Changed(ControlAspect::State);
  AlignControls();
}
void TPanel::SetAlignment(TAlignment Value) {
  alignment_ = Value;
  Changed(ControlAspect::State);
}

TRect TPanel::AlignClientRect() const {
  int inset = (bevelOuter_ != bvNone ? bevelWidth_ : 0) + (bevelInner_ != bvNone ? bevelWidth_ : 0);
  return TRect{inset, inset, std::max(inset, Width() - inset), std::max(inset, Height() - inset)};
}

// ---------------------------------------------------------------------------

const TClassInfo& TImage::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TImage>("TImage", TControl::StaticClassInfo())
          .Object("Picture", [](const TImage& i) { return i.Picture(); })
          .Boolean("Stretch", &TImage::Stretch, &TImage::SetStretch, false)
          .Boolean("Center", &TImage::Center, &TImage::SetCenter, false)
          .Boolean("Proportional", &TImage::Proportional, &TImage::SetProportional, false)
          .Boolean("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize, false)
          .Boolean("Transparent", &TImage::Transparent, &TImage::SetTransparent, false)
          .Creatable()
          .Build();
  return info;
}

TImage::TImage(TComponent* AOwner) : TControl(AOwner), picture_(std::make_unique<TPicture>()) {
  bounds_ = {0, 0, 105, 105};
  picture_->OnChange = [this] { pictureChanged(); };
}

TImage::~TImage() {
  // The backend may still read the picture while the peer goes.
  if (Parent()) SetParent(nullptr);
  picture_->OnChange = nullptr;
}

void TImage::pictureChanged() {
  if (autoSize_ && !picture_->Empty()) SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
  Changed(ControlAspect::State);
}

void TImage::SetStretch(bool Value) {
  stretch_ = Value;
  Changed(ControlAspect::State);
}
void TImage::SetCenter(bool Value) {
  center_ = Value;
  Changed(ControlAspect::State);
}
void TImage::SetProportional(bool Value) {
  proportional_ = Value;
  Changed(ControlAspect::State);
}
void TImage::SetAutoSize(bool Value) {
  autoSize_ = Value;
  if (autoSize_) pictureChanged();
}
void TImage::SetTransparent(bool Value) {
  transparent_ = Value;
  Changed(ControlAspect::State);
}

TRect TImage::DestRect() const {
  int pw = picture_->Width(), ph = picture_->Height();
  int cw = Width(), ch = Height();
  if (pw <= 0 || ph <= 0) return TRect{0, 0, 0, 0};
  int w = pw, h = ph;
  if (stretch_ || (proportional_ && (pw > cw || ph > ch))) {
    if (proportional_) {
      // Keep the aspect ratio; without Stretch only shrink.
      double scale = std::min(static_cast<double>(cw) / pw, static_cast<double>(ch) / ph);
      if (!stretch_ && scale > 1.0) scale = 1.0;
      w = static_cast<int>(pw * scale + 0.5);
      h = static_cast<int>(ph * scale + 0.5);
    } else {
      w = cw;
      h = ch;
    }
  }
  int x = 0, y = 0;
  if (center_) {
    x = (cw - w) / 2;
    y = (ch - h) / 2;
  }
  return TRect{x, y, x + w, y + h};
}

// ---------------------------------------------------------------------------

const TClassInfo& TBevel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TBevel>("TBevel", TControl::StaticClassInfo())
          .Enumeration("Shape", BevelShapeTypeInfo(), &TBevel::Shape, &TBevel::SetShape, bsBox)
          .Enumeration("Style", BevelStyleTypeInfo(), &TBevel::Style, &TBevel::SetStyle, bsLowered)
          .Creatable()
          .Build();
  return info;
}

TBevel::TBevel(TComponent* AOwner) : TControl(AOwner) { bounds_ = {0, 0, 50, 50}; }

void TBevel::SetShape(TBevelShape Value) {
  shape_ = Value;
  Changed(ControlAspect::State);
}
void TBevel::SetStyle(TBevelStyle Value) {
  style_ = Value;
  Changed(ControlAspect::State);
}

// ---------------------------------------------------------------------------

const TClassInfo& TTimer::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TTimer>("TTimer", TComponent::StaticClassInfo())
                                     .Boolean("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
                                     .Integer("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
                                     .Event("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer)
                                     .Creatable()
                                     .Build();
  return info;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  if (window_) {
    if (running_) KillTimer(window_, 1);
    DeallocateHWnd(window_);
  }
}

void TTimer::SetInterval(unsigned Value) {
  if (Value == interval_) return;
  interval_ = Value;
  update();
}
void TTimer::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  update();
}
void TTimer::SetOnTimer(TNotifyEvent Value) {
  onTimer_ = std::move(Value);
  update();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  update();
}

void TTimer::update() {
  if (window_ && running_) {
    KillTimer(window_, 1);
    running_ = false;
  }
  if (ComponentState().Contains(csLoading) || ComponentState().Contains(csDestroying)) return;
  if (interval_ == 0 || !enabled_ || !onTimer_.Assigned()) return;
  if (!window_) window_ = AllocateHWnd(TWndMethod([this](TMessage& m) { wndProc(m); }));
  if (!window_ || SetTimer(window_, 1, interval_, nullptr) == 0) throw EOutOfResources(SOutOfTimers);
  running_ = true;
}

void TTimer::wndProc(TMessage& Message) {
  if (Message.Msg != WM_TIMER) return;
  // A handler's exception goes to the application's standard handling
  // rather than into the message loop.
  try {
    if (enabled_ && onTimer_.Assigned()) onTimer_(this);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
}

}  // namespace qorv::platform
