// Further controls: panel, image, bevel, and the timer component.
//
// Threads: main thread only. Ownership as for every control (Controls.h);
// a TImage owns its TPicture, and destroying the image frees the picture.
//
// TTimer fires OnTimer on the main thread, every Interval milliseconds while
// Enabled, through a window timer of the messages area on a hidden window of
// its own, so its ticks come from the same loop as every other message.
// While the form description is being loaded nothing runs; the timer starts
// when loading ends (Loaded). When the messages area cannot give a timer,
// setting Enabled (or Interval, or OnTimer) raises EOutOfResources with
// "Not enough timers available". An Interval of 0 stops it.
#pragma once

#include <string>

#include "platform/ui/Controls.h"

namespace qorv::platform {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
const EnumTypeInfo& BevelCutTypeInfo();

class TPanel : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TPanel(TComponent* AOwner);

  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut Value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut Value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

protected:
  TRect AlignClientRect() const override;

private:
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  int bevelWidth_ = 1;
  TAlignment alignment_ = taCenter;
};

class TImage : public TControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;

  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* Value) { picture_->Assign(Value); }
  // Stretch scales the picture to the control; Proportional (with Stretch)
  // keeps its aspect ratio and only shrinks; Center centres it.
  bool Stretch() const { return stretch_; }
  void SetStretch(bool Value);
  bool Center() const { return center_; }
  void SetCenter(bool Value);
  bool Proportional() const { return proportional_; }
  void SetProportional(bool Value);
  // Takes the picture's size whenever the picture changes.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);

  // Where the picture is drawn inside the control, by the rules above.
  TRect DestRect() const;

private:
  void pictureChanged();
  std::unique_ptr<TPicture> picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool proportional_ = false;
  bool autoSize_ = false;
  bool transparent_ = false;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };
const EnumTypeInfo& BevelShapeTypeInfo();
const EnumTypeInfo& BevelStyleTypeInfo();

class TBevel : public TControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TBevel(TComponent* AOwner);

  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape Value);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle Value);

private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

class TTimer : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  TNotifyEvent OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent Value);

protected:
  void Loaded() override;

private:
  void update();
  void wndProc(TMessage& Message);

  unsigned interval_ = 1000;
  bool enabled_ = true;
  TNotifyEvent onTimer_;
  HWND window_ = nullptr;
  bool running_ = false;
};

}  // namespace qorv::platform
