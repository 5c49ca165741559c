#pragma once
// A check-box tree item tied to one option variable: the item shows whether
// the variable holds its mask, and writes the mask back when applied.

#include <variant>

#include "platform/win32_types.h"

namespace talmoor::search {

class OptionBinding {
 public:
  // The variable must outlive the binding; the mask must not be 0.
  OptionBinding(BYTE& variable, DWORD mask, bool inverted = false)
      : variable_(&variable), mask_(mask), inverted_(inverted) {}
  OptionBinding(WORD& variable, DWORD mask, bool inverted = false)
      : variable_(&variable), mask_(mask), inverted_(inverted) {}
  OptionBinding(DWORD& variable, DWORD mask, bool inverted = false)
      : variable_(&variable), mask_(mask), inverted_(inverted) {}

  // Bytes of the variable: 1, 2 or 4.
  int width() const;
  DWORD mask() const { return mask_; }
  bool inverted() const { return inverted_; }

  // Whether the item is shown ticked. A byte is a yes/no switch: it is on
  // when it is non-zero and the mask is too. Wider variables are on when
  // every mask bit is set, whatever other bits they hold.
  bool ticked() const;
  // Writes the item's state: the mask bits are set when the item means "on"
  // (ticked and not inverted, or unticked and inverted), cleared otherwise.
  // A byte is written only when its yes/no differs: to the mask, or to 0 so
  // that it reads back as off whatever bits it held.
  void apply(bool ticked) const;

 private:
  std::variant<BYTE*, WORD*, DWORD*> variable_;  // not owned
  DWORD mask_;
  bool inverted_;
};

}  // namespace talmoor::search
