#pragma once
// The environment block that Windows gives the programs of a profile's user,
// built from the registry as Windows builds it at logon, and the expansion of
// %NAME% references against it (ExpandEnvironmentStrings).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmoor::platform {

class WindowsEnvironment {
 public:
  // Reads the registry of the current registry service through the Win32
  // registry calls, in the order Windows applies it:
  //  1. the variables Windows defines itself: SystemRoot and windir (Windows
  //     NT\CurrentVersion "SystemRoot", else C:\windows), SystemDrive,
  //     ProgramFiles, CommonProgramFiles and their (x86) and W6432 forms
  //     (Windows\CurrentVersion), ProgramData, ALLUSERSPROFILE and PUBLIC
  //     (ProfileList), COMPUTERNAME;
  //  2. HKLM\System\CurrentControlSet\Control\Session Manager\Environment;
  //  3. the user's profile: USERPROFILE (ProfileList\<sid>), then every value
  //     of HKCU\Volatile Environment, then what is still missing of APPDATA,
  //     LOCALAPPDATA, USERNAME, HOMEDRIVE and HOMEPATH from the user's shell
  //     folders and profile path (an offline hive has no volatile key);
  //  4. HKCU\Environment, whose values replace the machine's, except Path,
  //     which is appended to the machine's Path after a ";".
  // Within each key the REG_SZ values are set first, then the REG_EXPAND_SZ
  // values in enumeration order, each expanded against what is defined by
  // then. Values of other types are ignored.
  static WindowsEnvironment fromRegistry();

  // Names compare without regard to case; the case first given is kept.
  std::optional<std::string> get(std::string_view name) const;
  // False for a name Windows refuses (empty, or holding "=" after its first
  // character).
  bool set(std::string_view name, std::string value);
  void remove(std::string_view name);
  bool empty() const { return variables_.empty(); }

  // Name and value of every variable, in the order of an environment block
  // (upper-cased names in code unit order).
  std::vector<std::pair<std::string, std::string>> variables() const;

  // Replaces each %NAME% with the variable's value, in one pass, as
  // ExpandEnvironmentStrings does: an undefined name and "%%" stay as
  // written and scanning goes on after their closing "%"; a "%" without a
  // closing one is literal. `changed`, when given, tells whether anything
  // was replaced.
  std::string expand(std::string_view text, bool* changed = nullptr) const;

 private:
  struct Variable {
    std::string name;
    std::string value;
  };
  std::map<std::u16string, Variable> variables_;  // keyed by the upper-cased name
};


}  // namespace talmoor::platform
