#include <chrono>

#include "denoise/phases.hpp"

namespace ulv::denoise {

namespace {

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PhaseTimes& phaseTimes() {
  thread_local PhaseTimes times;
  return times;
}

PhaseClock::PhaseClock(double& total) : total_(total), start_(now()) {}
PhaseClock::~PhaseClock() {
  total_ += now() - start_;
}

}  // namespace ulv::denoise
