#pragma once
// The command thread: the windows post their slow registry work to it as
// application messages, so that no window waits on the registry. It takes
// the messages 0x8003 to 0x8029 and ignores the rest; a message whose work no
// window has registered yet is accepted all the same and its record freed.
//
// A message's several-word parameters travel in a record the thread keeps
// for it between the post and the handling: whoever posts hands the record
// over, the handler gets it, and a record that is never handled (the thread
// quits first) is freed with the thread.
//
// Handlers run on the command thread. They report back to the windows only
// by posting (the desktop queues a call into its GUI thread); they never
// touch a window themselves.

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/messages/message_loop_thread.h"

namespace talmoor::frame {

enum class CommandMessage : UINT {
  RefreshValueList = 0x8003,
  RefreshKeyTree = 0x8004,
  ShowValueData = 0x8005,
  TreeSelectionChanged = 0x8006,
  DeleteTreeChildren = 0x8007,
  Unassigned8008 = 0x8008,
  GoToFavourite = 0x8009,
  RenameByRules = 0x800A,
  CreateOrRenameValue = 0x800B,
  NoAction800C = 0x800C,
  NoAction800D = 0x800D,
  StartSearch = 0x800E,
  StopSearch = 0x800F,
  PauseSearch = 0x8010,
  ResumeSearch = 0x8011,
  SecurityWindowCommand = 0x8012,
  LogOnAsOtherUser = 0x8013,
  ChangeValueType = 0x8014,
  KeyPopupMenu = 0x8015,
  ValuePopupMenu = 0x8016,
  FileActionOnData = 0x8017,
  ExecuteData = 0x8018,
  KeyProperties = 0x8019,
  ValueLabelEdit = 0x801A,
  StartResultsFileJob = 0x801B,
  DragStarted = 0x801C,
  DragEnded = 0x801D,
  GoToNamedByData = 0x801E,
  GoToKey = 0x801F,
  SelectRequestedValue = 0x8020,
  SelectRememberedValue = 0x8021,
  AddCurrentToResults = 0x8022,
  ResultsRowCommand = 0x8023,
  Unassigned8024 = 0x8024,
  StartPathOpener = 0x8025,
  Unassigned8026 = 0x8026,
  Unassigned8027 = 0x8027,
  FreeWriteRequest = 0x8028,
  FreeTreeItemRecord = 0x8029,
};

inline constexpr UINT kFirstCommandMessage = 0x8003;
inline constexpr UINT kLastCommandMessage = 0x8029;

class CommandThread {
 public:
  // The record a message carries (empty when it carries none).
  using Record = std::any;
  using Handler = std::function<void(WPARAM wParam, Record record)>;

  CommandThread();
  // Tells the loop to quit and waits for it; records not handled are freed.
  ~CommandThread();
  CommandThread(const CommandThread&) = delete;
  CommandThread& operator=(const CommandThread&) = delete;

  // The work behind a message; a later registration replaces an earlier one.
  void setHandler(CommandMessage message, Handler handler);

  // Posts a message with its record. False when the loop has ended.
  bool post(CommandMessage message, WPARAM wParam = 0, Record record = {});
  // Posts a raw message number, as a window that knows only numbers does;
  // numbers outside the command range are ignored by the loop.
  bool postNumber(UINT message, WPARAM wParam = 0);

  // Tells the loop to quit after what is queued, and waits for it.
  void quit();

  // What the loop has done, for the Debug window and tests.
  struct Counts {
    std::size_t handled = 0;   // a registered handler ran
    std::size_t accepted = 0;  // in range, no handler: the record was freed
    std::size_t ignored = 0;   // outside the range
  };
  Counts counts() const;
  // Called on the command thread after each message, with a line for the
  // Debug window.
  void setObserver(std::function<void(const std::string& line)> observer);

 private:
  void dispatch(const platform::Message& message);
  std::optional<Record> takeRecord(LPARAM ticket);

  mutable std::mutex mutex_;
  std::map<UINT, Handler> handlers_;
  std::map<LPARAM, Record> records_;
  LPARAM nextTicket_ = 1;
  Counts counts_;
  std::function<void(const std::string&)> observer_;
  std::unique_ptr<platform::MessageLoopThread> loop_;
};

}  // namespace talmoor::frame
