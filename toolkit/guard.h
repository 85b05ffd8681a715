// Application-wide error display. Every control and menu event is wired through
// connectGuarded, so whatever a handler throws is shown in the modal box and the
// event loop goes on; Qt never sees an exception leave a slot.
#pragma once

#include <QObject>
#include <exception>
#include <type_traits>
#include <utility>

namespace morvane {

// Shows the error in the modal message box: its own message for a ToolkitError
// or std::exception, a memory message for std::bad_alloc, an empty message for
// anything else.
void showError(std::exception_ptr error);

// Runs f, showing anything it throws.
template <class F>
void runGuarded(F&& f) noexcept {
  try {
    std::forward<F>(f)();
  } catch (...) {
    showError(std::current_exception());
  }
}

// Connects a signal to a handler under the error display. The handler may take
// the signal's arguments or none.
template <class Sender, class Signal, class F>
QMetaObject::Connection connectGuarded(Sender* sender, Signal signal, QObject* context, F handler) {
  return QObject::connect(sender, signal, context, [handler](auto&&... args) mutable {
    runGuarded([&] {
      if constexpr (std::is_invocable_v<F&, decltype(args)...>)
        handler(std::forward<decltype(args)>(args)...);
      else
        handler();
    });
  });
}

}  // namespace morvane
