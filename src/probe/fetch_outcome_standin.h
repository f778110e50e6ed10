// TEMPORARY STAND-IN, to be deleted once the web library offers FetchBytesWithOutcome
// itself: the same declarations, so callers compile unchanged against the real one.
// It knows only "an answer came" (status 200) or "none came" (kOther).
#ifndef VELMORA_PROBE_FETCH_OUTCOME_STANDIN_H_
#define VELMORA_PROBE_FETCH_OUTCOME_STANDIN_H_

#include "web/fetch.h"

namespace velmora {

enum class ExchangeFailure { kNone, kTimeout, kConnect, kResolve, kTls, kOther };
struct ExchangeOutcome {
  int status = 0;  // 0 when no answer came
  ExchangeFailure failure = ExchangeFailure::kNone;
};

Bytes FetchBytesWithOutcome(ExchangeOutcome& outcome, const Text& url, InOut<Text> method = {},
                            const Text& postText = {}, InOut<Text> cookies = {},
                            InOut<Text> newCookies = {}, InOut<Text> headers = {},
                            InOut<Text> location = {}, int noRedirect = 0, int timeoutSeconds = 0,
                            InOut<Text> responseHeaders = {}, const Bytes& postBytes = {});

}  // namespace velmora

#endif  // VELMORA_PROBE_FETCH_OUTCOME_STANDIN_H_
