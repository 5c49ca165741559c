// The "Naming Rules" window as a user meets it, offscreen: cells edited with
// the keyboard (text, number, drop-down, flag), rules and names added and
// removed with both adapters under Qt's model tester, nothing reaching the
// workspace before Apply, the files saved and loaded back the same, and a
// damaged file refused with a box and both lists left as they were.

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "base/workspace.h"
#include "browse/naming_rules.h"
#include "browse/naming_rules_model.h"
#include "browse/ui/naming_rules_item_models.h"
#include "browse/ui/naming_rules_window.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

using namespace talmoor;
using browse::NamingRule;
using browse::NamingRuleStore;
using browse::ui::NamingRulesWindow;

namespace {

struct Fixture {
  Fixture() { store().replace(browse::builtInNamingRules()); }
  static NamingRuleStore& store() { return Workspace::current().service<NamingRuleStore>(); }
  test::TestRegistry registry;
  std::shared_ptr<ScriptedInteraction> boxes = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed{boxes};
  NamingRulesWindow window{Workspace::currentShared()};
  QAbstractItemModelTester ruleTester{window.ruleModel(), QAbstractItemModelTester::FailureReportingMode::QtTest};
  QAbstractItemModelTester nameTester{window.nameModel(), QAbstractItemModelTester::FailureReportingMode::QtTest};

  QPushButton* button(const char* name) const { return window.findChild<QPushButton*>(QString::fromLatin1(name)); }
  QLineEdit* edit(const char* name) const { return window.findChild<QLineEdit*>(QString::fromLatin1(name)); }
  void selectRule(int row) const { window.ruleView()->setCurrentIndex(window.ruleModel()->index(row, 0)); }
  std::vector<NamingRule> shown() const {
    std::vector<NamingRule> rules;
    for (std::size_t i = 0; i < window.rules().ruleCount(); ++i) rules.push_back(window.rules().rule(i));
    return rules;
  }
  QString nameCell(int row, int column) const { return window.nameModel()->index(row, column).data().toString(); }
};

// Opens the cell's editor with F2, as a user would, and returns it.
QWidget* openEditor(QTableView* view, int row, int column) {
  view->setFocus();
  view->setCurrentIndex(view->model()->index(row, column));
  QTest::keyClick(view, Qt::Key_F2);
  return view->indexWidget(view->currentIndex());
}

}  // namespace

class NamingRulesWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void cellsAreEditedWithTheKeyboardAndReachTheWorkspaceOnlyOnApply() {
    Fixture f;
    f.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    QVERIFY(!f.button("Apply")->isEnabled());

    // The name list follows the selected rule: the second built-in rule's names.
    f.selectRule(1);
    QCOMPARE(f.window.nameModel()->rowCount(), 27);
    QCOMPARE(f.nameCell(0, 1), QStringLiteral("InfoTip"));
    QCOMPARE(f.nameCell(0, 0), QStringLiteral("Plus Symbol"));

    QWidget* editor = openEditor(f.window.nameView(), 0, 2);
    QVERIFY(qobject_cast<QLineEdit*>(editor));
    QTest::keyClicks(editor, QStringLiteral("Shell tips"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f.nameCell(0, 2), QStringLiteral("Shell tips"));  // Return commits through a queued call

    // The overlay is a drop-down; one step down from "Plus Symbol" is the next overlay.
    editor = openEditor(f.window.nameView(), 0, 0);
    QTest::keyClick(editor, Qt::Key_Down);
    QTRY_COMPARE(f.nameCell(0, 0), QStringLiteral("Skipped (Small S)"));

    // The level is a number; -1 ("any level") is the least it takes.
    editor = openEditor(f.window.ruleView(), 1, 0);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, QStringLiteral("-1"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f.window.rules().rule(1).level, -1);
    QVERIFY(!f.window.ruleModel()->setData(f.window.ruleModel()->index(1, 0), -2));
    QCOMPARE(f.window.rules().rule(1).level, -1);

    // The action is a drop-down ("Icon" column); "Friendly Name" is followed by "Append Type Name".
    editor = openEditor(f.window.ruleView(), 1, 4);
    QTest::keyClick(editor, Qt::Key_Down);
    QTRY_COMPARE(f.window.rules().rule(1).action, browse::NamingAction::AppendTypeName);
    // Recurse is a flag, toggled with Space.
    f.window.ruleView()->setCurrentIndex(f.window.ruleModel()->index(1, 1));
    QTest::keyClick(f.window.ruleView(), Qt::Key_Space);
    QVERIFY(f.window.rules().rule(1).recurse);

    // Nothing has reached the workspace yet.
    QCOMPARE(f.store().snapshot()->at(1), browse::builtInNamingRules().at(1));
    QSignalSpy applied(&f.window, &NamingRulesWindow::rulesApplied);
    QVERIFY(f.button("Apply")->isEnabled());
    QTest::mouseClick(f.button("Apply"), Qt::LeftButton);
    QCOMPARE(applied.size(), 1);
    QCOMPARE(*f.store().snapshot(), f.shown());
    QCOMPARE(f.store().snapshot()->at(1).names.at(0).comment, std::string("Shell tips"));
    QVERIFY(!f.button("Apply")->isEnabled());

    if (const QByteArray dir = qgetenv("TALMOOR_SCREENSHOT_DIR"); !dir.isEmpty())
      f.window.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/naming_rules.png"));
  }

  void rulesAndNamesAreAddedAndRemovedWithTheNameListFollowing() {
    Fixture f;
    f.window.show();
    QVERIFY(!f.button("Add Rule")->isEnabled());
    QVERIFY(!f.button("Add Name")->isEnabled());  // no rule selected
    QVERIFY(!f.button("Load Name List")->isEnabled());

    QTest::keyClicks(f.edit("New Rule Name"), QStringLiteral("Caption"));
    QVERIFY(f.button("Add Rule")->isEnabled());
    QTest::mouseClick(f.button("Add Rule"), Qt::LeftButton);
    QCOMPARE(f.window.ruleModel()->rowCount(), 10);
    QVERIFY(f.edit("New Rule Name")->text().isEmpty());
    // The new rule is selected and shows its one name.
    QCOMPARE(f.window.nameModel()->rowCount(), 1);
    QCOMPARE(f.nameCell(0, 1), QStringLiteral("Caption"));
    QCOMPARE(f.window.ruleModel()->index(9, 4).data().toString(), QStringLiteral("Invalid / None"));

    QTest::keyClicks(f.edit("New Name"), QStringLiteral("Title"));
    QTest::keyClick(f.edit("New Name"), Qt::Key_Return);
    QCOMPARE(f.window.nameModel()->rowCount(), 2);
    QTest::mouseClick(f.button("Remove Name"), Qt::LeftButton);  // the new name is current
    QCOMPARE(f.window.nameModel()->rowCount(), 1);

    // Removing a rule above the shown one keeps the names of the shown rule.
    f.selectRule(1);
    const QString second = f.nameCell(0, 1);
    f.window.ruleModel()->removeRule(0);
    QCOMPARE(f.nameCell(0, 1), second);
    QCOMPARE(f.window.rules().selectedRule(), std::optional<std::size_t>(0));

    // Removing the shown rule shows the rule that takes its row.
    f.selectRule(0);
    QTest::mouseClick(f.button("Remove Rule"), Qt::LeftButton);
    QCOMPARE(f.window.ruleModel()->rowCount(), 8);
    QCOMPARE(f.nameCell(0, 1), QStringLiteral("DriverDesc"));  // the third built-in rule

    QTest::mouseClick(f.button("Clear Rules"), Qt::LeftButton);
    QCOMPARE(f.window.ruleModel()->rowCount(), 0);
    QCOMPARE(f.window.nameModel()->rowCount(), 0);
    QVERIFY(!f.button("Remove Rule")->isEnabled());
    QVERIFY(!f.button("Clear Rules")->isEnabled());
  }

  void filesSaveAndLoadBackAndADamagedFileChangesNothing() {
    Fixture f;
    f.window.show();
    QTemporaryDir dir;
    QString answer;
    std::vector<NamingRulesWindow::FileRequest> asked;
    f.window.setFileChooser([&](QWidget*, const NamingRulesWindow::FileRequest& request) {
      asked.push_back(request);
      return answer;
    });

    f.selectRule(1);
    f.window.nameModel()->setData(f.window.nameModel()->index(2, 2), QStringLiteral("from the OEM"));
    const auto before = f.shown();
    answer = dir.filePath(QStringLiteral("mine.naming rules"));
    QTest::mouseClick(f.button("Save Naming Rules"), Qt::LeftButton);
    QCOMPARE(asked.back().title, QStringLiteral("Save Naming Rules"));
    QVERIFY(asked.back().save);
    QVERIFY(f.boxes->boxes().empty());

    // The dialog's filter must find the saved file: its patterns are split at spaces.
    const QString filter = asked.back().filters.split(QStringLiteral(";;")).front();
    QVERIFY(filter.startsWith(QStringLiteral("Naming Rules (")));
    const QString patterns = QRegularExpression(QStringLiteral("\\((.*)\\)")).match(filter).captured(1);
    QCOMPARE(QDir(dir.path()).entryList(patterns.split(QLatin1Char(' ')), QDir::Files),
             QStringList{QStringLiteral("mine.naming rules")});

    QTest::mouseClick(f.button("Clear Rules"), Qt::LeftButton);
    QTest::mouseClick(f.button("Load Naming Rules"), Qt::LeftButton);
    QCOMPARE(asked.back().title, QStringLiteral("Load Naming Rules"));
    QCOMPARE(f.shown(), before);

    // A name list goes with the selected rule, to any rule.
    f.selectRule(1);
    answer = dir.filePath(QStringLiteral("friendly.name list"));
    QTest::mouseClick(f.button("Save Name List"), Qt::LeftButton);
    QCOMPARE(asked.back().title, QStringLiteral("Save Name List"));
    QVERIFY(asked.back().filters.startsWith(QStringLiteral("Name List (")));
    f.selectRule(8);
    QTest::mouseClick(f.button("Load Name List"), Qt::LeftButton);
    QCOMPARE(asked.back().title, QStringLiteral("Load Name List"));
    QCOMPARE(f.window.rules().rule(8).names, before.at(1).names);
    QCOMPARE(f.window.nameModel()->rowCount(), 27);

    // A count of four billion rules in a file of four bytes: refused whole, with its box.
    const auto edited = f.shown();
    const QString damaged = dir.filePath(QStringLiteral("damaged"));
    std::ofstream(damaged.toStdString(), std::ios::binary) << std::string("\xff\xff\xff\xff", 4);
    answer = damaged;
    QTest::mouseClick(f.button("Load Naming Rules"), Qt::LeftButton);
    QCOMPARE(f.boxes->boxes().size(), std::size_t{1});
    QCOMPARE(f.boxes->boxes().front().title, std::string("Load Naming Rules"));
    QCOMPARE(f.shown(), edited);
    QCOMPARE(f.window.rules().selectedRule(), std::optional<std::size_t>(8));
    QCOMPARE(f.window.nameModel()->rowCount(), 27);
    QTest::mouseClick(f.button("Load Name List"), Qt::LeftButton);
    QCOMPARE(f.boxes->boxes().size(), std::size_t{2});
    QCOMPARE(f.boxes->boxes().back().title, std::string("Load Name List"));
    QCOMPARE(f.window.nameModel()->rowCount(), 27);

    // A cancelled dialog does nothing at all.
    answer.clear();
    QTest::mouseClick(f.button("Load Naming Rules"), Qt::LeftButton);
    QCOMPARE(f.shown(), edited);
    QCOMPARE(f.boxes->boxes().size(), std::size_t{2});
  }
};

QTEST_MAIN(NamingRulesWindowTest)
#include "naming_rules_test.moc"
