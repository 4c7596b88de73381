#include "phase_progress.hpp"

#include <utility>

namespace ulvcli {

PhaseProgress::PhaseProgress(PhaseListener listener, int levels, std::size_t planes)
    : listener_(std::move(listener)), fitsPerPlane_(2 * levels), planes_(planes) {}

PhaseProgress::PlaneWatch::PlaneWatch(PhaseProgress& progress, std::size_t plane)
    : watch_(progress.neverRaised_, [&progress](std::string_view name) { progress.step(name); }) {
  progress.plane_ = plane;
  progress.fits_ = 0;
  progress.tell("transform");
}

void PhaseProgress::step(std::string_view name) {
  if (name == "fmincon") {
    ++fits_;
    tell("mask fits " + std::to_string(fits_) + "/" + std::to_string(fitsPerPlane_));
  } else if (name == "save" && fits_ == fitsPerPlane_) {  // the masks, once fitted
    tell("fusion and reconstruction");
  }
}

void PhaseProgress::tell(std::string text) {
  if (!listener_) return;
  if (planes_ > 1) {
    text = "channel " + std::to_string(plane_ + 1) + "/" + std::to_string(planes_) + ": " + text;
  }
  if (text == last_) return;
  last_ = text;
  listener_(last_);
}

}  // namespace ulvcli
