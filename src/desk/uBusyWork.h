#pragma once

// Long work of a command (a recognition, a barcode reading) runs off the
// user-interface thread while the command waits for it in a local event
// loop: the windows keep painting and their timers run, the busy cursor
// shows, and no input reaches the program's windows (so no second command
// can start, from the mouse, the keyboard or a shortcut) except a modal
// dialog opened meanwhile. A window closed meanwhile closes when the work
// is over. Commands that may not start while work runs (hotkeys, actions)
// test Active().
//
//   TBusyWork busy;                                  // busy from here
//   QString text = busy.Run([&] { return Recognise(picture); },
//                           [&] { ShowProgress(); });  // every 100 ms

#include <QtGlobal>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

class TBusyWork {
public:
  TBusyWork();
  ~TBusyWork();
  TBusyWork(const TBusyWork &) = delete;
  TBusyWork &operator=(const TBusyWork &) = delete;

  // Whether any busy scope is open.
  static bool Active();

  // Runs `work` on a worker thread and returns what it returns, or raises
  // what it raised, once it is over; meanwhile the event loop runs (input
  // dropped) and `tick` is called every 100 ms on this thread.
  template <class F> std::invoke_result_t<F> Run(F &&work, const std::function<void()> &tick = {}) {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
      RunErased([&] { work(); }, tick);
    } else {
      std::optional<R> result;
      RunErased([&] { result.emplace(work()); }, tick);
      return std::move(*result);
    }
  }

  // Lets the event loop run for `milliseconds` (input dropped).
  void Wait(int milliseconds, const std::function<void()> &tick = {});

  // Runs the event loop (input dropped) until `done` gives true, testing it
  // and calling `tick` every `intervalMs`.
  void WaitUntil(const std::function<bool()> &done, const std::function<void()> &tick = {}, int intervalMs = 20);

private:
  void RunErased(const std::function<void()> &work, const std::function<void()> &tick);
};
