// Helpers for the transfer tests: a watchdog that turns a lost event into
// a failure instead of a hang, a main-thread pump that waits the way the
// program does, and a recorder of the HTTP component's events.
//
// Everything here runs on the test's main thread, except the watchdog's own
// thread and the recorder's worker-thread events, which lock the record.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages/Messages.h"
#include "platform/messages/Threads.h"
#include "transfer/auHTTP.h"

namespace qorv::transfertest {

// Armed for one test. On expiry it records a failure and raises Expired(),
// which every pump checks; a test that is still stuck a while later aborts
// the process, so that CTest reports it instead of waiting for ever.
class Watchdog {
public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(20)) : thread_([this, limit] { Run(limit); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      disarmed_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  bool Expired() const { return expired_.load(); }

private:
  void Run(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, limit, [this] { return disarmed_; })) return;
    expired_.store(true);
    ADD_FAILURE() << "watchdog expired: an event was lost";
    if (wake_.wait_for(lock, std::chrono::seconds(10), [this] { return disarmed_; })) return;
    std::fprintf(stderr, "watchdog: test still stuck, aborting\n");
    std::abort();
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool disarmed_ = false;
  std::atomic<bool> expired_{false};
  std::thread thread_;
};

// Processes messages on the main thread until Done() is true, the watchdog
// expired or Limit passed. True when Done() became true.
inline bool PumpUntil(const Watchdog& dog, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(15000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (dog.Expired() || std::chrono::steady_clock::now() > deadline) return false;
    platform::MsgWaitForMultipleObjects(0, nullptr, 0, 10, platform::QS_ALLINPUT);
    platform::ProcessMessages();
  }
  return true;
}

// Keeps processing messages for a while, to see that nothing else arrives.
inline void PumpFor(std::chrono::milliseconds span) {
  const auto deadline = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < deadline) {
    platform::MsgWaitForMultipleObjects(0, nullptr, 0, 10, platform::QS_ALLINPUT);
    platform::ProcessMessages();
  }
}

struct RecordedEvent {
  std::string name;
  std::string args;
  bool onMain = false;
};

// Hooks every event of an HTTP component and records it in order.
class Recorder {
public:
  explicit Recorder(TauCustomHTTP& http) : http_(http) {
    using namespace platform;
    http.OnStatusChange = TauHTTPStatusEvent(nullptr, [this](TObject*, DWORD code, const std::string& text) {
      Add("OnStatusChange", std::to_string(code) + " " + text);
    });
    http.OnRedirect = TauHTTPRedirectEvent(nullptr, [this](TObject*, const std::string& url) { Add("OnRedirect", url); });
    http.OnHeadersReceived = TauHTTPHeadersEvent(
        nullptr, [this](TObject*, std::int32_t status, const std::string& raw, const std::string& type,
                        const std::string&, const std::string&, DWORD length, const std::string&, TDateTime,
                        TDateTime modified, TDateTime, const std::string& etag, bool& continueDownload) {
          Add("OnHeadersReceived", std::to_string(status) + " " + std::to_string(length) + " " + type);
          rawHeaders = raw;
          lastModified = modified;
          eTag = etag;
          continueDownload = continueDownloadAnswer;
        });
    http.OnDownloadProgress = TauHTTPProgressEvent(
        nullptr, [this](TObject*, const std::string&, DWORD total, DWORD read, DWORD elapsed, std::int32_t left,
                        std::uint8_t percent, float, TStream* data) {
          ProgressFigures p{total, read, elapsed, left, percent, data != nullptr};
          progress.push_back(p);
          Add("OnDownloadProgress", std::to_string(total) + " " + std::to_string(read));
          if (onProgress) onProgress(p);
        });
    http.OnDone = TauHTTPDoneEvent(nullptr, [this](TObject*, const std::string& type, DWORD size, TStream* data) {
      doneSize = size;
      doneHadStream = data != nullptr;
      if (data != nullptr) {
        donePosition = data->Position();
        body.assign(static_cast<std::size_t>(data->Size()), '\0');
        if (!body.empty()) data->Read(body.data(), static_cast<std::int32_t>(body.size()));
      }
      Add("OnDone", std::to_string(size) + " " + type);
      if (onDone) onDone();
    });
    http.OnTransferIncomplete = TauHTTPIncompleteEvent(
        nullptr, [this](TObject*, const std::string&, DWORD total, DWORD read, TStream*) {
          Add("OnTransferIncomplete", std::to_string(total) + " " + std::to_string(read));
        });
    http.OnNoResponse = TNotifyEvent(nullptr, [this](TObject*) { Add("OnNoResponse", ""); });
    http.OnHTTPError = TauHTTPErrorEvent(nullptr, [this](TObject*, std::int32_t status, TStream* data) {
      body.clear();
      if (data != nullptr) {
        data->SetPosition(0);
        body.assign(static_cast<std::size_t>(data->Size()), '\0');
        if (!body.empty()) data->Read(body.data(), static_cast<std::int32_t>(body.size()));
      }
      Add("OnHTTPError", std::to_string(status));
    });
    http.OnDoneWithoutData = TNotifyEvent(nullptr, [this](TObject*) { Add("OnDoneWithoutData", ""); });
    http.OnTransferFailed = TNotifyEvent(nullptr, [this](TObject*) { Add("OnTransferFailed", ""); });
    http.OnTransferSkipped = TNotifyEvent(nullptr, [this](TObject*) { Add("OnTransferSkipped", ""); });
    http.OnTransferAborted = TNotifyEvent(nullptr, [this](TObject*) { Add("OnTransferAborted", ""); });
  }

  struct ProgressFigures {
    DWORD total, read, elapsed;
    std::int32_t left;
    std::uint8_t percent;
    bool hadStream;
  };

  void Add(const std::string& name, const std::string& args) {
    std::lock_guard lock(mutex_);
    events_.push_back({name, args, platform::GetCurrentThreadId() == platform::MainThreadID()});
  }

  // The names of the events, the status and redirect events left out.
  std::vector<std::string> Names(bool withWorkerEvents = false) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& e : events_) {
      if (!withWorkerEvents && (e.name == "OnStatusChange" || e.name == "OnRedirect")) continue;
      if (e.name == "OnDownloadProgress" && !withWorkerEvents) {
        if (!names.empty() && names.back() == "OnDownloadProgress") continue;
      }
      names.push_back(e.name);
    }
    return names;
  }
  std::vector<RecordedEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  int Count(const std::string& name) const {
    std::lock_guard lock(mutex_);
    int n = 0;
    for (const auto& e : events_) n += e.name == name;
    return n;
  }
  // One of the outcomes has arrived.
  bool Finished() const {
    for (const char* outcome : {"OnDone", "OnDoneWithoutData", "OnTransferIncomplete", "OnNoResponse", "OnHTTPError",
                                "OnTransferSkipped", "OnTransferAborted"})
      if (Count(outcome) > 0) return true;
    return false;
  }
  // The outcome and its companions have arrived and the output is released.
  bool Settled() const { return Finished() && !http_.Busy() && !http_.Running(); }

  std::string body;
  std::string rawHeaders;
  std::string eTag;
  TDateTime lastModified = 0;
  DWORD doneSize = 0;
  bool doneHadStream = false;
  std::int64_t donePosition = -1;
  bool continueDownloadAnswer = true;
  std::vector<ProgressFigures> progress;
  std::function<void(const ProgressFigures&)> onProgress;
  std::function<void()> onDone;

private:
  TauCustomHTTP& http_;
  mutable std::mutex mutex_;
  std::vector<RecordedEvent> events_;
};

// The fault server's body pattern.
inline std::string Pattern(std::size_t start, std::size_t count) {
  static const std::string kPattern = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string s;
  s.reserve(count);
  for (std::size_t i = 0; i < count; ++i) s.push_back(kPattern[(start + i) % kPattern.size()]);
  return s;
}

}  // namespace qorv::transfertest
