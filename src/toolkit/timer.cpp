#include "toolkit/timer.h"

#include "toolkit/backend.h"

namespace lum {

Timer::Timer(Component& owner, unsigned interval_ms) : Component(&owner), interval_(interval_ms) {}

Timer::~Timer() { Stop(); }

void Timer::SetInterval(unsigned interval_ms) {
  if (interval_ms == interval_) return;
  interval_ = interval_ms;
  if (running_) backend::TimerArm(*this);
}

void Timer::Start() {
  if (running_) return;
  running_ = true;
  backend::TimerArm(*this);
}

void Timer::Stop() {
  if (!running_) return;
  running_ = false;
  backend::TimerDisarm(*this);
}

void Timer::DoTick() {
  if (running_) SafeCall(OnTick, *this);
}

}  // namespace lum
