#include "platform/ui/ComCtrls.h"

#include <algorithm>

namespace qorv::platform {

const TClassInfo& TProgressBar::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TProgressBar>("TProgressBar", TWinControl::StaticClassInfo())
                                     .Integer("Min", &TProgressBar::Min, &TProgressBar::SetMin, 0)
                                     .Integer("Max", &TProgressBar::Max, &TProgressBar::SetMax, 100)
                                     .Integer("Position", &TProgressBar::Position, &TProgressBar::SetPosition, 0)
                                     .Boolean("Smooth", &TProgressBar::Smooth, &TProgressBar::SetSmooth, false)
                                     .Creatable()
                                     .Build();
  return info;
}

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) { bounds_ = {0, 0, 150, 16}; }

void TProgressBar::SetMin(int Value) {
  min_ = Value;
  if (max_ < min_) max_ = min_;
  position_ = std::clamp(position_, min_, max_);
  Changed(ControlAspect::State);
}

void TProgressBar::SetMax(int Value) {
  max_ = Value;
  if (min_ > max_) min_ = max_;
  position_ = std::clamp(position_, min_, max_);
  Changed(ControlAspect::State);
}

void TProgressBar::SetPosition(int Value) {
  Value = std::clamp(Value, min_, max_);
  if (Value == position_) return;
  position_ = Value;
  Changed(ControlAspect::State);
}

void TProgressBar::SetSmooth(bool Value) {
  smooth_ = Value;
  Changed(ControlAspect::State);
}

double TProgressBar::Fraction() const {
  if (max_ == min_) return 0.0;
  return static_cast<double>(position_ - min_) / static_cast<double>(max_ - min_);
}

}  // namespace qorv::platform
