// The dialogs a search asks through, offscreen and driven by real clicks and
// keys: the options dialog storing what was changed and nothing else, the
// write confirmation handing back its answer and the user's edits, the
// missing file reference taking suggestions while open, the pattern
// question, and a worker thread waiting on a dialog shown on the GUI thread.

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QTableView>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>
#include <thread>

#include "base/error_reporting.h"
#include "frame/frame_commands.h"
#include "frame/ui/main_frame.h"
#include "frame/window_table.h"
#include "gui/qt_interaction.h"
#include "hexedit/ui/hex_editor_widget.h"
#include "search/options/ui/search_options_dialog.h"
#include "search/replace/ui/confirmation_dialog.h"
#include "search/search_options.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"
#include "verify/ui/missing_reference_dialog.h"
#include "verify/ui/pattern_dialog.h"
#include "verify/ui/rule_table_model.h"
#include "verify/ui/verification_rules_window.h"

using namespace talmoor;
using search::OptionsTree;
using search::ui::ConfirmationDialog;
using search::ui::SearchOptionsDialog;
using verify::ui::MissingReferenceDialog;
using verify::ui::PatternDialog;
using verify::ui::VerificationRulesWindow;

namespace {

constexpr int kAccept = 6, kReject = 7, kCancel = 2, kDoNotShow = 32;
constexpr std::size_t kStringType = 1;  // REG_SZ's item in the types tree

struct Fixture {
  Fixture() {
    search::resetSearchOptions();
    setErrorBoxesSuppressed(false);
  }
  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
};

void show(QWidget& widget) {
  widget.show();
  QVERIFY(QTest::qWaitForWindowExposed(&widget));
}

// A check box is clicked on its box: the label of a wide one ends short of its middle.
void click(QAbstractButton* button) {
  if (qobject_cast<QCheckBox*>(button))
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  else
    QTest::mouseClick(button, Qt::LeftButton);
}

// Ticks or unticks an item with the space bar, as a keyboard user does.
void toggle(QTreeWidget* tree, QTreeWidgetItem* item) {
  tree->setFocus();
  tree->setCurrentItem(item);
  QTest::keyClick(tree->viewport(), Qt::Key_Space);
}

bool ticked(QTreeWidgetItem* item) { return item->checkState(0) == Qt::Checked; }

bool sameTemplate(const search::ConfirmationTable& a, const search::ConfirmationTable& b) {
  for (std::size_t kind = 0; kind < a.size(); ++kind)
    for (std::size_t op = 0; op < a[kind].size(); ++op)
      if (a[kind][op].suppressed != b[kind][op].suppressed || a[kind][op].answer != b[kind][op].answer) return false;
  return true;
}

ConfirmationRequest valueChange() {
  ConfirmationRequest request;
  request.caption = "Overwrite Value and Data";
  request.fromPath = "HKEY_LOCAL_MACHINE\\Software\\Old";
  request.toPath = "HKEY_LOCAL_MACHINE\\Software\\New";
  request.originalName = "Path";
  request.modifiedName = "Path";
  request.originalData = std::vector<unsigned char>{'o', 'l', 'd', 0};
  request.modifiedData = std::vector<unsigned char>{'n', 'e', 'w', 0};
  request.type = 1;
  request.originalDataEditable = false;
  request.modifiedDataEditable = true;
  return request;
}

// Runs `answer` on the modal dialog of type `Dialog` as soon as one is shown.
template <class Dialog>
void whenShown(const std::function<void(Dialog*)>& answer) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      answer(dialog);
    }
  });
  timer->start();
}

verify::RulePtr makeRule(std::string find, std::string replace) {
  auto rule = std::make_shared<verify::Rule>();
  rule->find = std::move(find);
  rule->replace = std::move(replace);
  return rule;
}

// Opens the cell's editor with F2, as a user would, and returns it.
QWidget* openEditor(QTableView* view, int row, int column) {
  view->setFocus();
  view->setCurrentIndex(view->model()->index(row, column));
  QTest::keyClick(view, Qt::Key_F2);
  return view->indexWidget(view->currentIndex());
}

// Return ends an in-place edit; the view takes the text up once the event
// loop turns.
void commitWithReturn(QWidget* editor) {
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
}

struct RulesFixture : Fixture {
  RulesFixture() {
    rules.insert(makeRule("C:\\Old\\a.dll", "D:\\App\\a.dll"));
    rules.insert(makeRule("C:\\Gone\\b.dll", ""));
  }
  QString cell(int row, int column) const { return window->model()->index(row, column).data().toString(); }
  verify::RuleBase rules;
  std::unique_ptr<VerificationRulesWindow> window = std::make_unique<VerificationRulesWindow>(rules);
  QAbstractItemModelTester tester{window->model(), QAbstractItemModelTester::FailureReportingMode::QtTest};
};

}  // namespace

class SearchDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // --- Search Options ---

  void optionsOpenedAndClosedUnchangedKeepEveryOption() {
    Fixture f;
    const search::SearchOptions before = search::currentSearchOptions();
    SearchOptionsDialog dialog("talmoor");
    show(dialog);
    QTreeWidget* types = dialog.treeWidget(OptionsTree::Types);
    QCOMPARE(types->topLevelItemCount(), 12);
    QCOMPARE(types->topLevelItem(11)->text(0), QStringLiteral("All Custom Types"));
    QVERIFY(ticked(types->topLevelItem(1)) && ticked(types->topLevelItem(2)) && ticked(types->topLevelItem(7)));
    QVERIFY(!ticked(types->topLevelItem(4)));
    QVERIFY(types->toolTip().startsWith(QStringLiteral("Place a tick next to the types")));
    QVERIFY(dialog.keysBox()->isChecked() && dialog.valuesBox()->isChecked() && dialog.dataBox()->isChecked());
    QVERIFY(dialog.alwaysMatchBox()->toolTip().startsWith(QStringLiteral("Always match the Key or Value name")));
    QVERIFY(!dialog.namingRulesButton()->isVisible());

    click(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close));
    QVERIFY(!dialog.isVisible());
    const search::SearchOptions after = search::currentSearchOptions();
    QCOMPARE(after.typeMask, DWORD{0x86});
    QCOMPARE(after.searchFlags, before.searchFlags);
    QCOMPARE(after.alwaysMatchOnName, before.alwaysMatchOnName);
    QCOMPARE(after.confirmationsOff, before.confirmationsOff);
    QVERIFY(sameTemplate(after.confirmationTemplate, before.confirmationTemplate));
    QVERIFY(!errorBoxesSuppressed());
  }

  void allTypesKeepsTheIndividualTicksUnderneath() {
    Fixture f;
    {
      SearchOptionsDialog dialog("talmoor");
      show(dialog);
      QTreeWidget* types = dialog.treeWidget(OptionsTree::Types);
      toggle(types, types->topLevelItem(kStringType));  // untick REG_SZ
      QVERIFY(!ticked(types->topLevelItem(kStringType)));

      click(dialog.searchAllTypesBox());
      QVERIFY(!types->isEnabled());
      for (int i = 0; i < types->topLevelItemCount(); ++i) QVERIFY(ticked(types->topLevelItem(i)));

      click(dialog.searchAllTypesBox());
      QVERIFY(types->isEnabled());
      QVERIFY(!ticked(types->topLevelItem(kStringType)));
      QVERIFY(ticked(types->topLevelItem(2)) && ticked(types->topLevelItem(7)));
      QVERIFY(!ticked(types->topLevelItem(4)));
      dialog.reject();
    }
    QCOMPARE(search::currentSearchOptions().typeMask, DWORD{0x84});

    // Ticked and closed: the individual bits stay, with "all" added.
    SearchOptionsDialog dialog("talmoor");
    show(dialog);
    click(dialog.searchAllTypesBox());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(search::currentSearchOptions().typeMask, DWORD{0x84 | search::kTypeBitAll});
  }

  void confirmationsSwitchedOffDisableBothTreesAndKeepTheTemplate() {
    Fixture f;
    const search::ConfirmationTable before = search::currentSearchOptions().confirmationTemplate;
    SearchOptionsDialog dialog("talmoor");
    show(dialog);
    QTreeWidget* keys = dialog.treeWidget(OptionsTree::KeyConfirmations);
    QTreeWidget* values = dialog.treeWidget(OptionsTree::ValueConfirmations);
    QVERIFY(keys->isEnabled() && values->isEnabled());
    QVERIFY(ticked(keys->topLevelItem(0)));  // every operation is confirmed at first
    QVERIFY(keys->toolTip().contains(QStringLiteral("registry Key write operations")));

    click(dialog.displayConfirmationsBox());
    QVERIFY(!keys->isEnabled() && !values->isEnabled());
    QVERIFY(!ticked(keys->topLevelItem(0)) && !ticked(values->topLevelItem(0)));
    dialog.reject();
    QCOMPARE(search::currentSearchOptions().confirmationsOff, BYTE{1});
    QVERIFY(sameTemplate(search::currentSearchOptions().confirmationTemplate, before));
  }

  void confirmationAndMiscellaneousTicksReachTheOptions() {
    Fixture f;
    SearchOptionsDialog dialog("talmoor");
    show(dialog);
    QTreeWidget* values = dialog.treeWidget(OptionsTree::ValueConfirmations);
    QCOMPARE(values->topLevelItem(0)->text(0), QStringLiteral("Create"));
    toggle(values, values->topLevelItem(0));  // "Create" no longer confirmed

    QTreeWidget* misc = dialog.treeWidget(OptionsTree::Miscellaneous);
    QTreeWidgetItem* recommended = misc->topLevelItem(0);
    QCOMPARE(recommended->text(0), QStringLiteral("Recommended"));
    QTreeWidgetItem* pause = recommended->child(0);
    QCOMPARE(pause->toolTip(0), QStringLiteral("Displays Errors Immidiately."));
    QVERIFY(ticked(pause));
    toggle(misc, pause);
    // A group node has no box to tick.
    toggle(misc, recommended);
    QCOMPARE(recommended->data(0, Qt::CheckStateRole), QVariant());

    click(dialog.dataBox());
    dialog.reject();
    const search::SearchOptions after = search::currentSearchOptions();
    QCOMPARE(after.confirmationTemplate[search::kChangeValue][search::kOpCreate].suppressed, DWORD{1});
    QCOMPARE(after.confirmationTemplate[search::kChangeKey][search::kOpCreate].suppressed, DWORD{0});
    QCOMPARE(after.searchFlags, search::kSearchKeyNames | search::kSearchValueNames);
    QVERIFY(errorBoxesSuppressed());
  }

  void altShiftCShowsTheCommandLineAndTheHiddenButtonOpensNamingRules() {
    Fixture f;
    SearchOptionsDialog dialog("talmoor --prefix /tmp/p");
    int opened = 0;
    dialog.setNamingRulesOpener([&] { ++opened; });
    show(dialog);
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_C, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(f.boxes->boxLines(), std::vector<std::string>{"Command Line: talmoor --prefix /tmp/p"});
    dialog.namingRulesButton()->click();
    QCOMPARE(opened, 1);
    dialog.reject();
  }

  void theFramesOptionsCommandOpensTheDialogModalOverIt() {
    Fixture f;
    frame::ui::FrameStart start;
    start.workspace = Workspace::currentShared();
    start.splash = false;
    frame::ui::MainFrame frame(std::move(start));
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    const int namingRules = static_cast<int>(frame::WindowCommand::NamingRules);
    bool overTheFrame = false, namingRulesShown = false;
    whenShown<SearchOptionsDialog>([&](SearchOptionsDialog* dialog) {
      overTheFrame = dialog->parentWidget() == &frame;
      dialog->namingRulesButton()->click();
      namingRulesShown = frame.subWindow(namingRules)->isVisible();
      click(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close));
    });
    frame.commandAction(static_cast<int>(frame::FrameCommand::Options))->trigger();
    QVERIFY(overTheFrame);
    QVERIFY(namingRulesShown);
    QVERIFY(!QApplication::activeModalWidget());
  }

  // --- Auto Change Editor/Confirmation Dialog ---

  void confirmationShowsBothSidesAndAnswersWithDoNotShow() {
    Fixture f;
    ConfirmationDialog dialog(valueChange());
    show(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Overwrite Value and Data"));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("From"))->text(),
             QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Old"));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("To"))->text(),
             QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\New"));
    QVERIFY(dialog.originalDataEditor()->editor().readOnly());
    QVERIFY(!dialog.modifiedDataEditor()->editor().readOnly());

    click(dialog.doNotShowBox());
    click(dialog.acceptButton());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.reply().answer, kAccept + kDoNotShow);

    ConfirmationDialog cancelled(valueChange());
    show(cancelled);
    click(cancelled.doNotShowBox());
    click(cancelled.cancelButton());
    QCOMPARE(cancelled.reply().answer, kCancel + kDoNotShow);

    // Closing the window rejects.
    ConfirmationDialog closed(valueChange());
    show(closed);
    QTest::keyClick(&closed, Qt::Key_Escape);
    QCOMPARE(closed.reply().answer, kReject);
  }

  void editedNameAndDataComeBackInTheReply() {
    Fixture f;
    ConfirmationDialog dialog(valueChange());
    show(dialog);
    QLineEdit* name = dialog.modifiedNameEdit();
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "Renamed");
    hexedit::ui::HexEditorWidget* data = dialog.modifiedDataEditor();
    data->setFocus();
    QTest::keyClicks(data, "ab");
    click(dialog.rejectButton());
    const ConfirmationReply reply = dialog.reply();
    QCOMPARE(reply.answer, kReject);
    QCOMPARE(reply.modifiedName, std::string("Renamed"));
    QVERIFY(reply.modifiedData && !reply.modifiedData->empty());
    QCOMPARE(int(reply.modifiedData->front()), 0xAB);
    QVERIFY(reply.originalData == valueChange().originalData);
  }

  void keyConfirmationHasNoDataAndOneSideLabelledName() {
    Fixture f;
    ConfirmationRequest request;
    request.caption = "Create Key";
    request.isKey = true;
    request.toPath = "HKEY_CURRENT_USER\\Software";
    request.modifiedName = "Fresh";
    ConfirmationDialog dialog(request);
    show(dialog);
    QVERIFY(!dialog.originalDataEditor() && !dialog.modifiedDataEditor());
    QVERIFY(dialog.findChild<QLineEdit*>(QStringLiteral("Name")));
    QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("From")));
    QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("Original Name")));
    click(dialog.acceptButton());
    QCOMPARE(dialog.reply().answer, kAccept);
    QCOMPARE(dialog.reply().modifiedName, std::string("Fresh"));
  }

  // --- Missing File Reference and Pattern Detected ---

  void suggestionsArriveWhileOpenAndClosingStopsTheSearch() {
    Fixture f;
    auto feed = std::make_shared<SuggestionFeed>();
    feed->add("C:\\Apps\\tool.exe");
    MissingReferenceRequest request;
    request.keyPath = "HKEY_LOCAL_MACHINE\\Software\\Tool";
    request.itemName = "Command";
    request.dataText = "C:\\Old\\tool.exe /run";
    request.reference = "C:\\Old\\tool.exe";
    request.suggestions = feed;
    MissingReferenceDialog dialog(request);
    show(dialog);
    QListWidget* list = dialog.suggestionList();
    QCOMPARE(list->count(), 1);
    QVERIFY(!dialog.acceptButton()->isEnabled());
    QVERIFY(dialog.rememberBox()->isChecked());

    feed->add("D:\\Tool\\tool.exe");
    QTRY_COMPARE(list->count(), 2);
    feed->setStatus("Search Completed.");
    feed->finish();
    QTRY_COMPARE(dialog.statusLabel()->text(), QStringLiteral("Search Completed."));

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(dialog.modifiedEdit()->text(), QStringLiteral("D:\\Tool\\tool.exe"));
    QVERIFY(dialog.acceptButton()->isEnabled());
    // An Accept cannot stand for every later reference.
    click(dialog.allQueriesBox());
    QVERIFY(!dialog.acceptButton()->isEnabled());
    click(dialog.allQueriesBox());
    QVERIFY(dialog.acceptButton()->isEnabled());

    QVERIFY(!feed->stop);
    click(dialog.acceptButton());
    QVERIFY(feed->stop);
    const MissingReferenceReply reply = dialog.reply();
    QCOMPARE(reply.answer, kAccept);
    QVERIFY(reply.remember);
    QCOMPARE(reply.replacement.value_or(""), std::string("D:\\Tool\\tool.exe"));
  }

  void typedReplacementsAndTheAnswersForAllQueries() {
    Fixture f;
    MissingReferenceRequest request;
    request.reference = "C:\\Old\\a.dll";
    request.proposal = "D:\\App\\a.dll";  // what a rule proposes is there to accept
    MissingReferenceDialog proposed(request);
    show(proposed);
    QVERIFY(proposed.acceptButton()->isEnabled());
    proposed.modifiedEdit()->setFocus();
    proposed.modifiedEdit()->selectAll();
    QTest::keyClick(proposed.modifiedEdit(), Qt::Key_Delete);
    QVERIFY(!proposed.acceptButton()->isEnabled());  // nothing to replace it with
    QTest::keyClicks(proposed.modifiedEdit(), "E:\\a.dll");
    QVERIFY(proposed.acceptButton()->isEnabled());
    click(proposed.rememberBox());
    click(proposed.acceptButton());
    QCOMPARE(proposed.reply().replacement.value_or(""), std::string("E:\\a.dll"));
    QVERIFY(!proposed.reply().remember);

    request.proposal.reset();
    MissingReferenceDialog cancelled(request);
    show(cancelled);
    click(cancelled.allQueriesBox());
    click(cancelled.cancelButton());
    QCOMPARE(cancelled.reply().answer, kCancel + kDoNotShow);

    MissingReferenceDialog closed(request);
    show(closed);
    QTest::keyClick(&closed, Qt::Key_Escape);
    QCOMPARE(closed.reply().answer, kReject);
  }

  void patternAnswersYesRecursiveAndNo() {
    Fixture f;
    PatternRequest request;
    request.findPrefixes = {"C:\\", "C:\\Old\\", "C:\\Old\\App\\"};
    request.replacePrefixes = {"D:\\", "D:\\App\\"};
    request.findSelected = 2;
    request.replaceSelected = 1;
    PatternDialog dialog(request);
    show(dialog);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("Question"))->text(),
             QStringLiteral("Replace beggining of all oprhaned file references"));
    QCOMPARE(dialog.findList()->currentText(), QStringLiteral("C:\\Old\\App\\"));
    QCOMPARE(dialog.replaceList()->currentText(), QStringLiteral("D:\\App\\"));
    // A folder chosen in the first list picks the same depth in the second.
    dialog.findList()->setFocus();
    QTest::keyClick(dialog.findList(), Qt::Key_Up);
    QTest::keyClick(dialog.findList(), Qt::Key_Up);
    QCOMPARE(dialog.findList()->currentIndex(), 0);
    QCOMPARE(dialog.replaceList()->currentIndex(), 0);
    click(dialog.recursiveBox());
    click(dialog.yesButton());
    QCOMPARE(dialog.reply().answer, IDNO);
    QCOMPARE(dialog.reply().findChoice, std::size_t{0});
    QCOMPARE(dialog.reply().replaceChoice, std::size_t{0});

    PatternDialog plain(request);
    show(plain);
    click(plain.yesButton());
    QCOMPARE(plain.reply().answer, IDYES);
    QCOMPARE(plain.reply().findChoice, std::size_t{2});

    request.reject = true;
    PatternDialog ignoring(request);
    show(ignoring);
    QVERIFY(ignoring.findChild<QLabel*>(QStringLiteral("Question"))->text().startsWith(QStringLiteral("Ignore ")));
    QVERIFY(!ignoring.replaceList()->isVisible());
    click(ignoring.noButton());
    QCOMPARE(ignoring.reply().answer, IDCANCEL);
  }

  // --- Verification Rules ---

  void rulesAreEditedInPlace() {
    RulesFixture f;
    show(*f.window);
    QTableView* view = f.window->view();
    QCOMPARE(f.window->model()->rowCount(), 2);
    QCOMPARE(f.window->model()->headerData(6, Qt::Horizontal).toString(), QStringLiteral("Min.Match"));
    QCOMPARE(f.cell(0, verify::kRuleFind), QStringLiteral("C:\\Old\\a.dll"));  // shorter find texts first
    QCOMPARE(f.cell(1, verify::kRuleReplace), QStringLiteral("<Blank>"));
    QCOMPARE(f.cell(1, verify::kRuleType), QStringLiteral("Exact Match"));
    QCOMPARE(f.cell(1, verify::kRuleAuto), QStringLiteral("No"));

    auto* minMatch = qobject_cast<QLineEdit*>(openEditor(view, 0, verify::kRuleMinMatch));
    QVERIFY(minMatch);
    minMatch->selectAll();
    QTest::keyClicks(minMatch, "7");
    commitWithReturn(minMatch);
    QCOMPARE(f.rules.rules()[0]->minMatch, 7);
    // Not a number: the cell keeps its value.
    minMatch = qobject_cast<QLineEdit*>(openEditor(view, 0, verify::kRuleMinMatch));
    minMatch->selectAll();
    QTest::keyClicks(minMatch, "x");
    commitWithReturn(minMatch);
    QCOMPARE(f.cell(0, verify::kRuleMinMatch), QStringLiteral("7"));

    // A prefix rule sorts before the exact ones: the edited rule moves up.
    auto* type = qobject_cast<QComboBox*>(openEditor(view, 1, verify::kRuleType));
    QVERIFY(type);
    QCOMPARE(type->currentText(), QStringLiteral("Exact Match"));
    QTest::keyClick(type, Qt::Key_End);  // "Full Match"
    QCOMPARE(f.cell(0, verify::kRuleFind), QStringLiteral("C:\\Gone\\b.dll"));
    QCOMPARE(f.cell(0, verify::kRuleType), QStringLiteral("Full Match"));

    auto* reject = qobject_cast<QComboBox*>(openEditor(view, 1, verify::kRuleReject));
    QVERIFY(reject);
    QTest::keyClick(reject, Qt::Key_Home);  // "Yes"
    QVERIFY(f.rules.rules()[1]->reject);
  }

  void rulesAreAddedRemovedAndCleared() {
    RulesFixture f;
    show(*f.window);
    QVERIFY(!f.window->addButton()->isEnabled());
    QVERIFY(!f.window->removeButton()->isEnabled());
    f.window->findEdit()->setFocus();
    QTest::keyClicks(f.window->findEdit(), "C:\\New\\c.dll");
    QTest::keyClicks(f.window->replaceEdit(), "E:\\c.dll");
    QVERIFY(f.window->addButton()->isEnabled());
    click(f.window->addButton());
    QCOMPARE(f.window->model()->rowCount(), 3);
    QVERIFY(f.rules.contains(*makeRule("c:\\new\\C.DLL", "")));

    // The same find text again (in any case) is refused.
    click(f.window->addButton());
    QCOMPARE(f.window->model()->rowCount(), 3);
    QCOMPARE(f.boxes->boxLines(),
             std::vector<std::string>{"Rule Already Exists: The specified rule already exists in the rule base, please "
                                      "ammend the existing rule."});

    // Selecting shows the rule in the fields; Add waits for a new find text.
    QTableView* view = f.window->view();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(f.window->model()->index(0, 1)).center());
    QCOMPARE(f.window->findEdit()->text(), QStringLiteral("C:\\Old\\a.dll"));
    QCOMPARE(f.window->replaceEdit()->text(), QStringLiteral("D:\\App\\a.dll"));
    QVERIFY(f.window->removeButton()->isEnabled());
    QVERIFY(!f.window->addButton()->isEnabled());
    click(f.window->removeButton());
    QCOMPARE(f.window->model()->rowCount(), 2);
    QVERIFY(!f.rules.contains(*makeRule("C:\\Old\\a.dll", "")));

    // A rule a running search adds shows up while the window is open.
    f.rules.insert(makeRule("C:\\Found\\d.dll", ""));
    QTRY_COMPARE(f.window->model()->rowCount(), 3);

    click(f.window->clearButton());
    QCOMPARE(f.window->model()->rowCount(), 0);
    QCOMPARE(f.rules.size(), std::size_t{0});
    QVERIFY(!f.window->clearButton()->isEnabled());
    QVERIFY(!f.window->saveButton()->isEnabled());
    QVERIFY(!f.window->removeButton()->isEnabled());
  }

  void rulesAreSavedAndLoadedThroughTheirFileDialogs() {
    RulesFixture f;
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("mine.rules"));
    std::vector<VerificationRulesWindow::FileRequest> asked;
    f.window->setFileChooser([&](QWidget*, const VerificationRulesWindow::FileRequest& request) {
      asked.push_back(request);
      return file;
    });
    show(*f.window);
    click(f.window->saveButton());
    click(f.window->clearButton());
    QCOMPARE(f.window->model()->rowCount(), 0);
    click(f.window->loadButton());
    QCOMPARE(f.window->model()->rowCount(), 2);
    QCOMPARE(f.cell(0, verify::kRuleReplace), QStringLiteral("D:\\App\\a.dll"));
    QCOMPARE(asked.size(), std::size_t{2});
    QCOMPARE(asked[0].title, QStringLiteral("Export Rule Base"));
    QVERIFY(asked[0].save);
    QCOMPARE(asked[0].defaultSuffix, QStringLiteral("rules"));
    QCOMPARE(asked[1].title, QStringLiteral("Import Rule Base"));
    QVERIFY(asked[1].filters.startsWith(QStringLiteral("Rule Base (*.rules)")));

    // A file that cannot be read is said so, and the rules stay.
    f.window->setFileChooser([&](QWidget*, const VerificationRulesWindow::FileRequest&) {
      return folder.filePath(QStringLiteral("absent.rules"));
    });
    click(f.window->loadButton());
    QCOMPARE(f.window->model()->rowCount(), 2);
    QCOMPARE(f.boxes->boxLines(), std::vector<std::string>{"Sorry: Failed to Load Settings"});
  }

  // --- The Qt Interaction across threads ---

  void aWorkerWaitsForTheConfirmationShownOnTheGuiThread() {
    Fixture f;
    gui::QtInteraction qt(qApp);
    whenShown<ConfirmationDialog>([](ConfirmationDialog* dialog) {
      dialog->modifiedNameEdit()->setFocus();
      QTest::keyClicks(dialog->modifiedNameEdit(), "2");
      click(dialog->doNotShowBox());
      click(dialog->acceptButton());
    });
    std::atomic<bool> answered = false;
    ConfirmationReply reply;
    std::thread worker([&] {
      reply = qt.confirmChange(valueChange());
      answered = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 10000);
    worker.join();
    QCOMPARE(reply.answer, kAccept + kDoNotShow);
    QCOMPARE(reply.modifiedName, std::string("Path2"));
  }

  void aWorkerAskingForAGoneWindowIsCancelledAndTheDialogsDoNotPileUp() {
    Fixture f;
    gui::QtInteraction qt(qApp);
    constexpr WindowRef kSearchWindow = 7;
    ConfirmationRequest request = valueChange();
    request.owner = kSearchWindow;

    // The window goes while its worker waits on the dialog: the worker is
    // answered Cancel at once.
    std::atomic<bool> answered = false;
    ConfirmationReply reply;
    std::thread worker([&] {
      reply = qt.confirmChange(request);
      answered = true;
    });
    bool answeredWhileOpen = false;
    int nested = 0;
    whenShown<ConfirmationDialog>([&](ConfirmationDialog* dialog) {
      // A second question from the GUI thread itself while one is open is
      // not shown on top of it.
      nested = qt.confirmChange(valueChange()).answer;
      qt.windowGone(kSearchWindow);
      QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 10000);
      answeredWhileOpen = dialog->isVisible();
      dialog->reject();
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(), 10000);
    worker.join();
    QCOMPARE(reply.answer, kCancel);
    QVERIFY(answeredWhileOpen);
    QCOMPARE(nested, int(search::ConfirmationAnswer::NotShown));
    // Asked again for the gone window: no dialog, Cancel.
    QCOMPARE(qt.confirmChange(request).answer, kCancel);

    // The pattern question and the missing reference go the same way.
    PatternReply pattern;
    whenShown<PatternDialog>([](PatternDialog* dialog) { click(dialog->yesButton()); });
    std::thread asker([&] { pattern = qt.patternDetected(PatternRequest{false, {"C:\\"}, {"D:\\"}, 0, 0, 0}); });
    QTRY_COMPARE_WITH_TIMEOUT(pattern.answer, IDYES, 10000);
    asker.join();

    auto feed = std::make_shared<SuggestionFeed>();
    MissingReferenceRequest missing;
    missing.reference = "C:\\x.dll";
    missing.suggestions = feed;
    missing.owner = kSearchWindow;
    QCOMPARE(qt.missingFileReference(missing).answer, kCancel);
    QVERIFY(feed->stop);
  }
};

QTEST_MAIN(SearchDialogsTest)
#include "search_dialogs_test.moc"
