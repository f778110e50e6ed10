// TEMPORARY STAND-IN: see fetch_outcome_standin.h.
#include "probe/fetch_outcome_standin.h"

namespace velmora {

Bytes FetchBytesWithOutcome(ExchangeOutcome& outcome, const Text& url, InOut<Text> method,
                            const Text& postText, InOut<Text> cookies, InOut<Text> newCookies,
                            InOut<Text> headers, InOut<Text> location, int noRedirect,
                            int timeoutSeconds, InOut<Text> responseHeaders,
                            const Bytes& postBytes) {
  Bytes body =
      FetchBytes(url, method.get(), postText, cookies.get(), newCookies.get(), headers.get(),
                 location.get(), noRedirect, timeoutSeconds, responseHeaders.get(), postBytes);
  const bool answered = !responseHeaders.get().empty();
  outcome.status = answered ? 200 : 0;
  outcome.failure = answered ? ExchangeFailure::kNone : ExchangeFailure::kOther;
  return body;
}

}  // namespace velmora
