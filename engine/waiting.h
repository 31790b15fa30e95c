// Every wait on the window's thread: for a program to end, for a helper
// thread's answer, for a socket, or for a time.
//
// The window keeps getting its messages throughout, so it paints and answers
// however long the wait, and a close of the window is seen at once. What a
// close does to the wait is the caller's choice: a download or a pause ends
// with RunStopped, while a setup program is left to finish, because one cut
// off halfway can leave the PC broken.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/ports.h"

namespace pravonell {

enum class OnStop {
  Unwind,  // the wait ends at once with RunStopped
  Finish,  // the wait goes on until the thing is ready; RunStopped comes then
};

class Waits {
 public:
  virtual ~Waits() = default;
  static constexpr unsigned kNoLimit = 0xFFFFFFFF;

  // Waits until ready(ms) answers true. ready may itself wait up to ms for
  // its thing (a process, a socket); between its calls the window is served.
  // True when it was ready, false when limitMs passed first.
  virtual bool Until(const std::function<bool(unsigned)>& ready, unsigned limitMs,
                     OnStop onStop = OnStop::Unwind) = 0;

  // A fixed pause of that length, with the window served meanwhile.
  virtual void Pause(unsigned milliseconds) = 0;
};

class PumpedWaits final : public Waits {
 public:
  // sliceMs is the longest the window goes without being served.
  PumpedWaits(MessagePump& pump, Pauses& clock, unsigned sliceMs = 50)
      : pump_(pump), clock_(clock), sliceMs_(sliceMs) {}

  bool Until(const std::function<bool(unsigned)>& ready, unsigned limitMs,
             OnStop onStop = OnStop::Unwind) override;
  void Pause(unsigned milliseconds) override;

 private:
  MessagePump& pump_;
  Pauses& clock_;
  unsigned sliceMs_;
};

// Runs ask() on a helper thread and waits for its answer, serving the window
// meanwhile: for a call that blocks (a name lookup, a connect, WinINet,
// WinHTTP). Nothing when limitMs passed first; the helper is then left to
// finish on its own, and what it answers is dropped with it. What ask()
// raises is raised here, on the window's thread.
template <typename Answer, typename Ask>
std::optional<Answer> AskBeside(Waits& waits, unsigned limitMs, Ask ask) {
  struct Pending {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::optional<Answer> answer;
    std::exception_ptr failure;
  };
  auto pending = std::make_shared<Pending>();
  std::thread([pending, ask = std::move(ask)]() mutable {
    std::optional<Answer> answer;
    std::exception_ptr failure;
    try {
      answer.emplace(ask());
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard lock(pending->mutex);
    pending->answer = std::move(answer);
    pending->failure = failure;
    pending->done = true;
    pending->finished.notify_all();
  }).detach();
  const bool answered = waits.Until(
      [&](unsigned ms) {
        std::unique_lock lock(pending->mutex);
        return pending->finished.wait_for(lock, std::chrono::milliseconds(ms), [&] { return pending->done; });
      },
      limitMs);
  std::lock_guard lock(pending->mutex);
  if (!answered && !pending->done) return std::nullopt;
  if (pending->failure) std::rethrow_exception(pending->failure);
  return std::move(pending->answer);
}

// The standard library's clock and sleep, for programs without a window
// (the command-line fetcher, the tests).
class StandardPauses final : public Pauses {
 public:
  std::uint64_t NowMs() override;
  void Sleep(unsigned milliseconds) override;
};

// System error codes of a file that another program holds open.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;

// How long a file held by another program (an antivirus scanning what was
// just written, typically) is waited for, and how often it is tried again.
struct HeldFileRetry {
  unsigned limitMs = 45000;
  unsigned intervalMs = 1000;
};

// Runs attempt() until it answers an error that is not "held by another
// program" (0 is success), trying again after pumped pauses while it is,
// for at most retry.limitMs in all. The last answer is returned.
std::uint32_t RetryWhileHeld(Waits& waits, Pauses& clock, const HeldFileRetry& retry,
                             const std::function<std::uint32_t()>& attempt,
                             const std::function<bool(std::uint32_t)>& held);

// The usual test: a sharing or lock violation.
bool IsHeldError(std::uint32_t error);

}  // namespace pravonell
