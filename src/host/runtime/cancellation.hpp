// Stopping a long call between its steps, and watching it progress.
//
// The host passes a checkpoint at its natural step boundaries (every call of
// a host function by name: the transform's filters, each evaluation of a
// mixture fit, the reconstruction's trimming). A host program that wants to
// follow or stop a call on its thread installs a StepWatch for the call's
// length: the watch's callback sees each step's name, and a checkpoint that
// finds the watch's flag raised ends the call with CallCancelled, which
// unwinds like any host error (every array and file of the call released).
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "ulvadern/errors.hpp"

namespace ulv {

class CallCancelled : public HostError {
 public:
  CallCancelled() : HostError("The call was interrupted.") {}
};

// Raised from any thread (a signal handler too: it is a lock-free atomic);
// seen by the next checkpoint of the thread whose watch holds it.
class CancelFlag {
 public:
  void raise() { raised_.store(true, std::memory_order_relaxed); }
  bool raised() const { return raised_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> raised_{false};
};

// Called with the step's name at each checkpoint, before the flag is looked
// at; it may raise the flag itself (a host that polls for interrupts).
using StepCallback = std::function<void(std::string_view step)>;

// For its scope, checkpoints on this thread report to `onStep` and obey
// `flag`. Watches nest; the innermost one is in force.
class StepWatch {
 public:
  StepWatch(CancelFlag& flag, StepCallback onStep = {});
  ~StepWatch();
  StepWatch(const StepWatch&) = delete;
  StepWatch& operator=(const StepWatch&) = delete;

 private:
  friend void checkpoint(std::string_view step);
  friend CancelFlag* currentCancelFlag();
  CancelFlag& flag_;
  StepCallback onStep_;
  StepWatch* outer_;
};

// The flag of this thread's innermost watch; null without one.
CancelFlag* currentCancelFlag();

// A step boundary: reports the step and throws CallCancelled when this
// thread's watch has its flag raised. Without a watch it does nothing.
void checkpoint(std::string_view step);

}  // namespace ulv
