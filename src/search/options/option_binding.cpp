#include "search/options/option_binding.h"

#include <type_traits>

namespace talmoor::search {

int OptionBinding::width() const {
  return std::visit([](auto* variable) { return static_cast<int>(sizeof(*variable)); }, variable_);
}

bool OptionBinding::ticked() const {
  bool on = std::visit(
      [this](auto* variable) -> bool {
        if constexpr (sizeof(*variable) == 1)
          return (*variable != 0) == (mask_ != 0);
        else
          return (*variable & mask_) == mask_;
      },
      variable_);
  return on != inverted_;
}

void OptionBinding::apply(bool ticked) const {
  const bool on = ticked != inverted_;
  std::visit(
      [this, on](auto* variable) {
        using Value = std::remove_reference_t<decltype(*variable)>;
        if constexpr (sizeof(Value) == 1) {
          if (on != (*variable != 0)) *variable = on ? static_cast<Value>(mask_) : 0;
        } else {
          *variable = static_cast<Value>(on ? *variable | mask_ : *variable & ~mask_);
        }
      },
      variable_);
}

}  // namespace talmoor::search
