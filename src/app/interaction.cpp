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

std::string describeConfirmation(const ConfirmationRequest& request) {
  std::string text = "The following changes are to be made to the registy.\n";
  if (request.fromPath) text += "  From:     " + *request.fromPath + "\n";
  if (request.toPath) text += std::string(request.fromPath ? "  To:       " : "  Name:     ") + *request.toPath + "\n";
  const char* group = request.isKey ? "Sub Key" : "Value";
  if (request.originalName) text += std::string("  ") + group + " (Original): " + *request.originalName + "\n";
  text += std::string("  ") + group + " (Modified): " + request.modifiedName + "\n";
  if (!request.isKey) {
    if (request.originalData) text += "  Data (Original): " + request.originalDataText + "\n";
    if (request.modifiedData) text += "  Data (Modified): " + request.modifiedDataText + "\n";
  }
  return text;
}

ConfirmationReply Interaction::confirmChange(const ConfirmationRequest& request) {
  int answer = messageBox(MessageBoxRequest{request.caption, describeConfirmation(request), BoxButtons::YesNoCancel,
                                            BoxIcon::Question, request.owner});
  ConfirmationReply reply;
  reply.answer = answer == IDYES ? 6 : answer == IDCANCEL ? 2 : 7;
  reply.modifiedName = request.modifiedName;
  reply.originalData = request.originalData;
  reply.modifiedData = request.modifiedData;
  return reply;
}

}  // namespace talmoor
