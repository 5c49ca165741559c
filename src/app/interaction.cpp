#include "app/interaction.h"

#include <mutex>

#include "app/console_interaction.h"

namespace talmoor {

namespace {
std::mutex g_mutex;
std::shared_ptr<Interaction> g_interaction;

std::shared_ptr<Interaction> current() {
  std::lock_guard lock(g_mutex);
  if (!g_interaction) g_interaction = std::make_shared<ConsoleInteraction>();
  return g_interaction;
}
}  // namespace

Interaction& interaction() {
  // The installed object lives until it is replaced; callers use it briefly.
  return *current();
}

std::shared_ptr<Interaction> setInteraction(std::shared_ptr<Interaction> implementation) {
  std::lock_guard lock(g_mutex);
  std::swap(g_interaction, implementation);
  return implementation;
}

int messageBox(std::string_view text, std::string_view title, BoxButtons buttons, BoxIcon icon, WindowRef owner) {
  auto implementation = current();
  return implementation->messageBox(
      MessageBoxRequest{std::string(title), std::string(text), buttons, icon, owner});
}

}  // namespace talmoor
