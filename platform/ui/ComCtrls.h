// Common controls: the progress bar.
//
// Threads: main thread only. Position is kept within Min..Max: a value
// outside is clamped; setting Min above Max (or Max below Min) moves the
// other bound with it.
#pragma once

#include "platform/ui/Controls.h"

namespace qorv::platform {

class TProgressBar : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TProgressBar(TComponent* AOwner);

  int Min() const { return min_; }
  void SetMin(int Value);
  int Max() const { return max_; }
  void SetMax(int Value);
  int Position() const { return position_; }
  void SetPosition(int Value);
  bool Smooth() const { return smooth_; }
  void SetSmooth(bool Value);
  // The filled share, 0.0 to 1.0.
  double Fraction() const;

private:
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  bool smooth_ = false;
};

}  // namespace qorv::platform
