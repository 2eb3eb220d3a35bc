#include "uHotkeyBackend.h"

#include "uX11HotkeyBackend.h"

#include <QGuiApplication>

namespace {
THotkeyBackendFactory &factoryOverride() {
  static THotkeyBackendFactory factory;
  return factory;
}
} // namespace

THotkeyBackend::THotkeyBackend(QObject *parent) : QObject(parent) {}

THotkeyBackend::~THotkeyBackend() = default;

bool TNullHotkeyBackend::Register(int, unsigned, unsigned) { return false; }

void TNullHotkeyBackend::Unregister(int) {}

std::unique_ptr<THotkeyBackend> CreateHotkeyBackend() {
  if (const THotkeyBackendFactory &factory = factoryOverride())
    return factory();
  if (std::unique_ptr<THotkeyBackend> x11 = CreateX11HotkeyBackend())
    return x11;
  return std::make_unique<TNullHotkeyBackend>();
}

THotkeyBackendFactory SetHotkeyBackendFactory(THotkeyBackendFactory factory) {
  THotkeyBackendFactory previous = std::move(factoryOverride());
  factoryOverride() = std::move(factory);
  return previous;
}
