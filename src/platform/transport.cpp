#include "platform/transport.h"

#include <mutex>
#include <utility>

namespace velmora::platform {
namespace {

std::mutex& SettingLock() {
  static std::mutex lock;
  return lock;
}

TransportSetting& Setting() {
  static TransportSetting setting;
  return setting;
}

}  // namespace

void SetTestTransport(TransportSetting setting) {
  std::lock_guard guard(SettingLock());
  Setting() = std::move(setting);
}

void ClearTestTransport() { SetTestTransport({}); }

TransportSetting CurrentTransport() {
  std::lock_guard guard(SettingLock());
  return Setting();
}

std::string LoopbackRoute(const std::string& host, int port, int localPort) {
  return host + ":" + std::to_string(port) + ":127.0.0.1:" + std::to_string(localPort);
}

}  // namespace velmora::platform
