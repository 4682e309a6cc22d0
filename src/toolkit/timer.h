// A window timer. Created stopped; starting a running timer changes nothing;
// a new interval for a running timer starts the interval anew.
#pragma once

#include "toolkit/control.h"

namespace lum {

class Timer final : public Component {
 public:
  explicit Timer(Component& owner, unsigned interval_ms = 1000);
  ~Timer() override;

  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned interval_ms);
  bool Running() const { return running_; }
  void Start();
  void Stop();

  Handler<Timer&> OnTick;
  void DoTick();  // the interval is over

  Peer* peer_ = nullptr;

 private:
  unsigned interval_;
  bool running_ = false;
};

}  // namespace lum
