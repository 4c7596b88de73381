#include "host/runtime/cancellation.hpp"

#include <utility>

namespace ulv {

namespace {

thread_local StepWatch* currentWatch = nullptr;

}  // namespace

StepWatch::StepWatch(CancelFlag& flag, StepCallback onStep)
    : flag_(flag), onStep_(std::move(onStep)), outer_(std::exchange(currentWatch, this)) {}

StepWatch::~StepWatch() {
  currentWatch = outer_;
}

CancelFlag* currentCancelFlag() {
  return currentWatch != nullptr ? &currentWatch->flag_ : nullptr;
}

void checkpoint(std::string_view step) {
  StepWatch* watch = currentWatch;
  if (watch == nullptr) return;
  if (watch->onStep_) watch->onStep_(step);
  if (watch->flag_.raised()) throw CallCancelled();
}

}  // namespace ulv
