// The command-line options of the script verbs.

#include "cli/script_verbs.h"

namespace talmoor::cli {

CLI::App* addExportVerb(CLI::App& app, ExportRequest& r) {
  auto* verb = app.add_subcommand("export", "write a key with everything below it as a registry script");
  verb->add_option("key", r.key, "the key, e.g. HKLM\\Software\\Wine")->required();
  verb->add_option("file", r.file, "the script file; an existing one is replaced after asking")->required();
  verb->add_option("--format", r.format,
                   "regedit4 (ANSI, the default) or regedit5 (UTF-16, \"Windows Registry Editor Version 5.00\")")
      ->transform(CLI::IsMember({"regedit4", "regedit5"}, CLI::ignore_case));
  auto* force = verb->add_flag("--force,-f", r.force, "replace an existing file without asking");
  auto* fresh = verb->add_flag("--fresh", r.fresh, "the same as --force");
  verb->add_flag("--append,-a", r.append, "add the export to the end of an existing file")
      ->excludes(force)
      ->excludes(fresh);
  return verb;
}

CLI::App* addImportVerb(CLI::App& app, ImportRequest& r) {
  auto* verb = app.add_subcommand("import", "write the values of a registry script into the registry");
  verb->add_option("file", r.file, "the script file (REGEDIT4 or version 5.00, ANSI or UTF-16)")->required();
  verb->add_flag("--test", r.test, "write nothing: list the entries, marking what the registry already holds");
  verb->add_flag("--no-confirm", r.noConfirm, "write every entry without confirming it");
  addFormatOption(*verb, r.format, "a table on a terminal, tab-separated lines otherwise");
  return verb;
}

CLI::App* addResultsVerb(CLI::App& app, ResultsRequest& r) {
  auto* verb = app.add_subcommand("results", "run a row mode over the entries of a registry script");
  verb->add_option("file", r.file, "the script file")->required();
  verb->add_option("--mode,-m", r.mode, "select, change, remove, reduce or delete")->required();
  verb->add_option("--find", r.find, "the text the rows are tested for");
  verb->add_option("--replace,-r", r.replace, "the replacement (change)");
  verb->add_option("--save", r.save, "write the rows to this script file afterwards");
  addFormatOption(*verb, r.format, "a table on a terminal, tab-separated lines otherwise");
  return verb;
}

}  // namespace talmoor::cli
