// The transport setting: lets a test trust its own throwaway CA and send the
// connections of a real host name to a loopback port, shorten the limits of the
// whole-resource GET, and lower the request object's body cap. The window never sets
// it; velmora-cli sets the CA file and the routes from its --cacert and --connect-to
// options; no environment variable or file does. The request object, HttpGetWhole
// and HttpGetStream read it at each exchange.
#ifndef VELMORA_PLATFORM_TRANSPORT_H_
#define VELMORA_PLATFORM_TRANSPORT_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::platform {

struct TransportSetting {
  // PEM file of extra trusted roots (replaces the system store); empty: system store.
  std::string caFile;
  // libcurl connect-to entries, "host:port:127.0.0.1:localport".
  std::vector<std::string> connectTo;
  // Overrides of HttpGetWhole's limits; unset keeps the built-in ones.
  std::optional<std::chrono::milliseconds> getConnectLimit;
  std::optional<std::chrono::milliseconds> getIdleLimit;
  std::optional<std::chrono::milliseconds> getOverallLimit;
  std::optional<std::int64_t> getBodyCap;
  // Override of the request object's answer body cap; unset keeps the built-in one.
  std::optional<std::int64_t> requestBodyCap;
};

// Replaces the process-wide setting. Call it between exchanges (a test's set-up),
// not while another thread's exchange depends on the old value.
void SetTestTransport(TransportSetting setting);
// Back to the program's own behaviour: system trust store, real addresses.
void ClearTestTransport();
// A copy of the current setting (empty when no test set one).
[[nodiscard]] TransportSetting CurrentTransport();

// The connect-to entry that sends `host`:`port` to 127.0.0.1:`localPort`.
[[nodiscard]] std::string LoopbackRoute(const std::string& host, int port, int localPort);

}  // namespace velmora::platform

#endif  // VELMORA_PLATFORM_TRANSPORT_H_
