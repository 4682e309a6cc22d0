// Event handlers as a plain function plus the record it works on.
//
// The program binds its handlers as (operation, record) pairs:
//   button.OnClick = lum::Bind<SaveCredentials>(form);
// where SaveCredentials is either `void(CenterForm&)` or takes the event's
// arguments after the record, e.g. `void(CenterForm&, lum::Control& sender)`.
// Two pointers, no allocation, no std::function.
#pragma once

#include <type_traits>

namespace lum {

template <class... Args>
struct Handler {
  void (*fn)(void* record, Args... args) = nullptr;
  void* record = nullptr;

  explicit operator bool() const { return fn != nullptr; }
  void operator()(Args... args) const {
    if (fn) fn(record, args...);
  }
};

namespace detail {

template <auto F, class T, class... Args>
void BoundThunk(void* record, Args... args) {
  T& target = *static_cast<T*>(record);
  if constexpr (std::is_invocable_v<decltype(F), T&, Args...>)
    F(target, args...);
  else
    F(target);  // the operation does not care about the event's details
}

// Converts to whichever handler type it is assigned to.
template <auto F, class T>
struct Bound {
  T* record;
  template <class... Args>
  operator Handler<Args...>() const {
    return Handler<Args...>{&BoundThunk<F, T, Args...>, record};
  }
};

}  // namespace detail

template <auto F, class T>
detail::Bound<F, T> Bind(T& record) {
  return detail::Bound<F, T>{&record};
}

}  // namespace lum
