// A loopback stand-in of the share-info service for probe and batch tests.
//
// It serves HTTPS with a throwaway CA and is reached at the service's real address
// (https://sns.qzone.qq.com/...) through the test transport. For each request it
// records the exact target, headers and arrival time, and answers with the body
// the test chose for that address (by default a summary naming the address), after
// an optional delay.
#ifndef VELMORA_TESTS_SUPPORT_SHARE_SERVICE_H_
#define VELMORA_TESTS_SUPPORT_SHARE_SERVICE_H_

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "probe/probe.h"
#include "support/loopback_server.h"

namespace velmora::test {

inline constexpr char kShareEndpointPath[] = "/cgi-bin/qzshare/cgi_qzshareget_urlinfo";

// The probe cookie's first item as the service receives it, spelled out so that a
// change to the built-in cookie shows.
inline constexpr char kProbeCookieItem[] =
    "x-stgw-ssl-info=7a3b61d08fe25c49b7130a6e8d52c9f1_0.096_1502966499.698_2_h2_N_I_TLSv1.2_"
    "ECDHE-RSA-AES128-GCM-SHA256_28000_0";

class ShareService {
 public:
  struct Answer {
    std::string body;
    std::chrono::milliseconds delay{0};
    // Extra header lines of the answer, such as Set-Cookie (a name may repeat).
    std::vector<std::pair<std::string, std::string>> headers{};
    int status = 200;
  };
  struct Request {
    std::string target;   // path and query exactly as sent
    std::string address;  // the query after "url=", as sent
    httplib::Headers headers;
    std::chrono::steady_clock::time_point arrived;
  };

  // `workers`: how many requests the server may hold at once.
  explicit ShareService(size_t workers = 16) : certs_({std::string(kShareHost)}), server_(certs_) {
    server_.routes().new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    // Connections stay usable between probes, as a real front end keeps them, so that
    // request arrival follows worker starts instead of handshakes.
    server_.routes().set_keep_alive_max_count(1000);
    server_.routes().set_keep_alive_timeout(30);
    server_.routes().Get(kShareEndpointPath, [this](const httplib::Request& req,
                                                    httplib::Response& res) { Serve(req, res); });
  }

  // The server's threads write the request log: stop them before it goes.
  ~ShareService() { server_.Stop(); }
  ShareService(const ShareService&) = delete;
  ShareService& operator=(const ShareService&) = delete;

  // Starts serving and routes the service's host to it; false when it could not.
  [[nodiscard]] bool Start() {
    if (!certs_.ok() || !server_.Start()) return false;
    route_.emplace(certs_.caFile(),
                   std::vector<Route>{{std::string(kShareHost), 443, server_.port()}});
    return true;
  }

  // The answer for requests whose address (as sent) is `address`.
  void SetAnswer(const std::string& address, Answer answer) {
    std::lock_guard lock(lock_);
    answers_[address] = std::move(answer);
  }
  // Answers for the requests of `address` in turn, the last one repeated.
  void SetAnswers(const std::string& address, std::vector<Answer> answers) {
    std::lock_guard lock(lock_);
    sequences_[address] = std::move(answers);
  }
  // The answer for every address without one of its own; unset: a summary that
  // names the address.
  void SetDefaultAnswer(Answer answer) {
    std::lock_guard lock(lock_);
    default_ = std::move(answer);
  }

  [[nodiscard]] std::vector<Request> Requests() {
    std::lock_guard lock(lock_);
    return requests_;
  }
  [[nodiscard]] size_t RequestCount() {
    std::lock_guard lock(lock_);
    return requests_.size();
  }
  // Requests whose answer has been written out.
  [[nodiscard]] size_t AnsweredCount() {
    std::lock_guard lock(lock_);
    return answered_;
  }

  // Called on the server's thread with each request as it arrives.
  void SetArrivalHook(std::function<void(const Request&)> hook) {
    std::lock_guard lock(lock_);
    arrivalHook_ = std::move(hook);
  }

  // Forgets the requests seen so far.
  void ClearRequests() {
    std::lock_guard lock(lock_);
    answered_ -= std::min(answered_, requests_.size());
    requests_.clear();
  }

  // The default answer's body for `address`.
  [[nodiscard]] static std::string SummaryBody(const std::string& address) {
    return R"({"code":0,"data":{"title":"t","summary":"for )" + address + R"(","images":[]}})";
  }

  void Stop() { server_.Stop(); }

  // For a child process that reaches the stand-in itself (--connect-to, --cacert).
  [[nodiscard]] int port() const { return server_.port(); }
  [[nodiscard]] const std::string& caFile() const { return certs_.caFile(); }

 private:
  void Serve(const httplib::Request& req, httplib::Response& res) {
    Request seen{req.target, "", req.headers, std::chrono::steady_clock::now()};
    const size_t query = req.target.find("?url=");
    if (query != std::string::npos) seen.address = req.target.substr(query + 5);
    Answer answer;
    {
      std::lock_guard lock(lock_);
      requests_.push_back(seen);
      if (arrivalHook_) arrivalHook_(seen);
      auto found = answers_.find(seen.address);
      auto sequence = sequences_.find(seen.address);
      if (sequence != sequences_.end() && !sequence->second.empty()) {
        size_t& next = sequenceNext_[seen.address];
        answer = sequence->second[std::min(next, sequence->second.size() - 1)];
        ++next;
      } else if (found != answers_.end()) {
        answer = found->second;
      } else if (default_) {
        answer = *default_;
      } else {
        answer.body = SummaryBody(seen.address);
      }
    }
    if (answer.delay.count() > 0) server_.Pause(answer.delay);
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) res.headers.emplace(name, value);
    res.set_content(answer.body, "application/json; charset=utf-8");
    std::lock_guard lock(lock_);
    ++answered_;
  }

  TestCertificates certs_;
  LoopbackServer server_;
  std::optional<ScopedTransport> route_;
  std::mutex lock_;
  std::map<std::string, Answer> answers_;
  std::map<std::string, std::vector<Answer>> sequences_;
  std::map<std::string, size_t> sequenceNext_;
  std::optional<Answer> default_;
  std::function<void(const Request&)> arrivalHook_;
  std::vector<Request> requests_;
  size_t answered_ = 0;
};

}  // namespace velmora::test

#endif  // VELMORA_TESTS_SUPPORT_SHARE_SERVICE_H_
