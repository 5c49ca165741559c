// The desktop program: the same profiles as talmoor-cli, then the registry
// editor's own command line, in the Talmoor frame.

#include <QApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <iostream>
#include <new>

#include "app/desktop_arguments.h"
#include "base/error_reporting.h"
#include "base/version.h"
#include "base/workspace.h"
#include "frame/ui/main_frame.h"
#include "gui/qt_interaction.h"
#include "scripts/command_line.h"
#include "verify/file_actions.h"
#include "verify/verification.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Whether a window can be shown at all: a display, or a Qt platform that
// needs none (offscreen, for tests).
bool displayAvailable() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talmoor;
  std::set_new_handler([] { fatalOutOfMemory(); });
  std::string problem;
  auto arguments = app::parseDesktopArguments(std::vector<std::string>(argv + 1, argv + argc), problem);
  if (!arguments) {
    std::cerr << "talmoor: " << problem << "\nRun with --help for more information.\n";
    return kExitUsage;
  }
  if (arguments->help) {
    std::cout << app::desktopUsage();
    return kExitSuccess;
  }
  if (arguments->version) {
    std::cout << "talmoor " << versionText() << "\n";
    return kExitSuccess;
  }
  if (!displayAvailable()) {
    std::cerr << "talmoor: no display to show windows on (DISPLAY is not set); use talmoor-cli without one\n";
    return kExitFailure;
  }

  // The registry is opened before any window: a profile that cannot be
  // opened is told on the terminal, and nothing is shown.
  auto workspace = Workspace::open(arguments->profile, nullptr, problem);
  if (!workspace) {
    std::cerr << "talmoor: " << problem << "\n";
    return kExitFailure;
  }
  for (const auto& warning : workspace->profile()->warnings) std::cerr << "talmoor: " << warning << "\n";

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Talmoor"));
  QApplication::setApplicationVersion(QString::fromLatin1(versionText()));
  auto interaction = std::make_shared<gui::QtInteraction>(&application);
  workspace->setInteraction(interaction);
  WorkspaceScope working(workspace);
  verify::installVerification();
  verify::setShellOpener([](std::string_view, const std::filesystem::path& host) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(host.string())));
  });

  frame::ui::FrameStart start;
  start.workspace = workspace;
  start.commandLine = joinCommandLine(arguments->editorLine);
  start.commandLineAnswer = arguments->answer;
  frame::ui::MainFrame frame(std::move(start));
  interaction->setParentWidget(&frame);
  interaction->setStatusSink([&frame](const QString& text) { frame.showStatus(text); });
  frame.show();
  QTimer::singleShot(0, &frame, &frame::ui::MainFrame::startSession);
  const int status = QApplication::exec();
  return status == 0 ? kExitSuccess : kExitFailure;
}
