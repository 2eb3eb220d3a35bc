#pragma once

#include <QObject>
#include <functional>
#include <memory>

// System-wide hotkeys of one window: combinations of a key and modifiers that
// reach the program whatever window has the keyboard. Each registration has an
// id of the caller's choice; pressing its combination raises HotKey with that
// id, queued on the user-interface thread's event loop (also inside a modal
// dialog's loop).
class THotkeyBackend : public QObject {
  Q_OBJECT
public:
  explicit THotkeyBackend(QObject *parent = nullptr);
  ~THotkeyBackend() override;

  // Registers the combination of the key code (uShortCut.h) and the modifier
  // flags MOD_SHIFT, MOD_CONTROL, MOD_ALT under the id. False, silently, when
  // it cannot be had: another program or another id of ours holds it, or no
  // key of the keyboard makes it. An id registered before is replaced.
  virtual bool Register(int id, unsigned modifiers, unsigned key) = 0;
  // Gives the combination of the id back; an unknown id is no error.
  virtual void Unregister(int id) = 0;

signals:
  void HotKey(int id);
};

// Where the program runs without a keyboard of the desktop (offscreen):
// registers nothing, and no hotkey ever arrives.
class TNullHotkeyBackend : public THotkeyBackend {
  Q_OBJECT
public:
  using THotkeyBackend::THotkeyBackend;
  bool Register(int id, unsigned modifiers, unsigned key) override;
  void Unregister(int id) override;
};

// The backend for the display the application runs on: key grabs at the X
// server when Qt runs on X11 (the xcb platform plugin), the null backend
// otherwise.
std::unique_ptr<THotkeyBackend> CreateHotkeyBackend();

// Replaces the choice of CreateHotkeyBackend (tests); an empty factory puts
// that choice (X11 or null) back. Returns the previous factory.
using THotkeyBackendFactory = std::function<std::unique_ptr<THotkeyBackend>()>;
THotkeyBackendFactory SetHotkeyBackendFactory(THotkeyBackendFactory factory);
