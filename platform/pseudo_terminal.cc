// What a pseudo-terminal's master does the same on both platforms: hanging up on destruction
// and moving.
#include <utility>

#include "platform/pseudo_terminal.h"

namespace kestrum {

PseudoTerminal::~PseudoTerminal() { HangUp(); }

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slave_path_(std::move(other.slave_path_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
  if (this != &other) {
    HangUp();
    master_ = std::exchange(other.master_, -1);
    slave_path_ = std::move(other.slave_path_);
  }
  return *this;
}

}  // namespace kestrum
