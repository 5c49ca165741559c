#include "frame/frame_commands.h"

#include "frame/window_table.h"

namespace talmoor::frame {

namespace {

constexpr int id(FrameCommand command) { return static_cast<int>(command); }
constexpr int id(WindowCommand command) { return static_cast<int>(command); }

constexpr Accelerator kAccelerators[] = {
    {"Alt+A", id(FrameCommand::AddToResults)},
    {"Ctrl+E", id(WindowCommand::ErrorLog)},
    {"Alt+F", id(FrameCommand::OpenFavouritesMenu)},
    {"Alt+O", id(FrameCommand::Options)},
    {"Alt+R", id(FrameCommand::Remove)},
    {"Ctrl+S", id(WindowCommand::Search)},
    {"Alt+S", id(WindowCommand::Search)},
    {"F3", id(WindowCommand::Search)},
    {"Alt+W", id(FrameCommand::OpenWindowMenu)},
};

}  // namespace

std::span<const Accelerator> acceleratorTable() { return kAccelerators; }

}  // namespace talmoor::frame
