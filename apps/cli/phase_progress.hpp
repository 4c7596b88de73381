// The phases of denoising one image, told from the host's steps while the
// library runs: per plane the transform, the mask fits (two per level: one
// per orientation, each a call of fmincon), then, from the save of the
// masks on, fusion and reconstruction.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "host/runtime/cancellation.hpp"

namespace ulvcli {

// Receives a short text each time the phase changes ("mask fits 3/6").
using PhaseListener = std::function<void(const std::string&)>;

class PhaseProgress {
 public:
  // An empty listener makes every call a no-op.
  PhaseProgress(PhaseListener listener, int levels, std::size_t planes);

  // For one plane's library call, on the calling thread.
  class PlaneWatch {
   public:
    PlaneWatch(PhaseProgress& progress, std::size_t plane);

   private:
    ulv::StepWatch watch_;
  };

 private:
  void step(std::string_view name);
  void tell(std::string text);

  PhaseListener listener_;
  int fitsPerPlane_;
  std::size_t planes_;
  std::size_t plane_ = 0;
  int fits_ = 0;
  std::string last_;
  ulv::CancelFlag neverRaised_;
};

}  // namespace ulvcli
