// The registry editor's command line: tokens, flags, the questions and
// where each answer leads.

#include <gtest/gtest.h>

#include "scripts/command_line.h"
#include "base/interaction.h"
#include "support/scripted_interaction.h"

namespace talmoor {
namespace {

TEST(CommandLine, SplitsAtBlanksKeepingQuotedTokensWhole) {
  EXPECT_EQ(splitCommandLine("  /e   out.reg  "), (std::vector<std::string>{"/e", "out.reg"}));
  EXPECT_EQ(splitCommandLine(R"(/E "C:\My Files\out.reg" "HKEY_CURRENT_USER\Control Panel")"),
            (std::vector<std::string>{"/E", R"("C:\My Files\out.reg")", R"("HKEY_CURRENT_USER\Control Panel")"}));
  auto tokens = splitCommandLine(R"(/E "a \" b.reg" key)");
  EXPECT_EQ(tokens, (std::vector<std::string>{"/E", R"("a \" b.reg")", "key"}));
  EXPECT_EQ(unquoted(tokens.at(1)), R"(a " b.reg)");
  EXPECT_TRUE(splitCommandLine("").empty());
}

TEST(CommandLine, ExportPromptsNameTheKeyOrTheWholeRegistry) {
  auto request = parseCommandLine(R"(/e "C:\My Files\out.reg" HKEY_CURRENT_USER\Software)");
  EXPECT_EQ(request.action, CommandLineAction::Export);
  EXPECT_EQ(request.file, R"(C:\My Files\out.reg)");
  EXPECT_EQ(request.key, "HKEY_CURRENT_USER\\Software");
  EXPECT_EQ(request.title, "Export Registry Key?");
  EXPECT_EQ(request.prompt,
            "A request has been made to Export the Key : \n\n\t'HKEY_CURRENT_USER\\Software'\n\n To the file : "
            "\n\n\t'C:\\My Files\\out.reg' \n\n\n\nClick 'Yes' to export this key.\nClick 'No' to display what would "
            "have been be exported.");

  request = parseCommandLine("/E out.reg");
  EXPECT_FALSE(request.key);
  EXPECT_EQ(request.prompt.rfind("A request has been made to Export the Entire Registry to the file : \n\n\t'out.reg' ", 0), 0u);
  EXPECT_EQ(parseCommandLine("-E").file, "Untitled.reg");
}

TEST(CommandLine, ImportFlagsHaveTheirOwnQuestions) {
  const std::string tail =
      "\n\nClick 'Yes' to import this file.\nClick 'No' to perform a test Import only.\n\n INFORMATION : A Test import "
      "lists the changes to be made in the\nsearch window. The changes will be shown with ticks against the\nelements "
      "which are already present in the registry.";
  EXPECT_EQ(parseCommandLine("setup.reg").prompt,
            "A request was made to Import the following file into the registry : \n\n'setup.reg' " + tail);
  EXPECT_EQ(parseCommandLine("/i setup.reg").prompt,
            "A request was made to Import the following file into the registry\n\nsetup.reg " + tail);
  EXPECT_EQ(parseCommandLine("/s setup.reg").flag, 'S');
  EXPECT_NE(parseCommandLine("/S setup.reg").prompt.find("action of a virus (given its covert nature) : \n\nsetup.reg "),
            std::string::npos);
  EXPECT_EQ(parseCommandLine("/v a.reg").prompt, parseCommandLine("/C a.reg").prompt);
  EXPECT_EQ(parseCommandLine("/x a.reg").prompt.rfind("A unknown flag was encountered  that is known", 0), 0u);
  for (const char* line : {"a.reg", "/i a.reg", "/s a.reg", "/c a.reg", "/q a.reg"}) {
    auto request = parseCommandLine(line);
    EXPECT_EQ(request.action, CommandLineAction::Import) << line;
    EXPECT_EQ(request.file, "a.reg") << line;
    EXPECT_EQ(request.title, "Import Registry File?") << line;
  }
}

TEST(CommandLine, AnswersLeadToExportOpenImportOrTestImport) {
  auto scripted = std::make_shared<ScriptedInteraction>();
  ScopedInteraction use(scripted);
  std::vector<std::string> calls;
  CommandLineHandlers handlers;
  handlers.exportKey = [&](const std::string& file, const std::optional<std::string>& key) {
    calls.push_back("export " + file + " " + key.value_or("*"));
  };
  handlers.openPath = [&](const std::optional<std::string>& key) { calls.push_back("open " + key.value_or("*")); };
  handlers.import = [&](const std::string& file) { calls.push_back("import " + file); };
  handlers.testImport = [&](const std::string& file) { calls.push_back("test " + file); };

  scripted->answer({IDYES, IDNO, IDYES, IDNO});
  processCommandLine("/E out.reg HKLM\\Software", handlers);
  processCommandLine("/E out.reg HKLM\\Software", handlers);
  processCommandLine("\"my file.reg\"", handlers);
  processCommandLine("/s my.reg", handlers);
  processCommandLine("", handlers);  // nothing asked, nothing done
  EXPECT_EQ(calls, (std::vector<std::string>{"export out.reg HKLM\\Software", "open HKLM\\Software",
                                             "import my file.reg", "test my.reg"}));
  EXPECT_EQ(scripted->boxes().size(), 4u);
}

}  // namespace
}  // namespace talmoor
