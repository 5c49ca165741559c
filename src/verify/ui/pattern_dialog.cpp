#include "verify/ui/pattern_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_controls.h"

namespace talmoor::verify::ui {

using gui::makeButton;
using gui::spokenName;

namespace {

// The program's texts are UTF-8.
QString qs(std::string_view text) { return gui::fromUtf8(text); }

QComboBox* makeList(QWidget* parent, const QString& label, const std::vector<std::string>& items,
                    std::size_t selected) {
  auto* list = new QComboBox(parent);
  list->setObjectName(spokenName(label));
  list->setAccessibleName(spokenName(label));
  for (const std::string& item : items) list->addItem(qs(item));
  if (selected < items.size()) list->setCurrentIndex(static_cast<int>(selected));
  return list;
}

}  // namespace

PatternDialog::PatternDialog(const PatternRequest& request, QWidget* parent) : QDialog(parent), request_(request) {
  setObjectName(QStringLiteral("PatternDetected"));
  setWindowTitle(tr("Pattern Detected"));
  setAccessibleName(windowTitle());
  setModal(true);

  auto* what = new QLabel(
      QString::fromLatin1(request_.reject ? "Ignore " : "Replace ") +
          QStringLiteral("beggining of all oprhaned file references"),
      this);
  what->setObjectName(QStringLiteral("Question"));
  const QString findLabel = tr("Starting with :");
  const QString replaceLabel = tr("Replace with :");
  find_ = makeList(this, findLabel, request_.findPrefixes, request_.findSelected);
  replace_ = makeList(this, replaceLabel, request_.replacePrefixes, request_.replaceSelected);
  recursive_ = new QCheckBox(tr("&Recursive"), this);
  recursive_->setObjectName(spokenName(recursive_->text()));
  recursive_->setAccessibleName(spokenName(recursive_->text()));
  yes_ = makeButton(this, tr("&Yes"));
  no_ = makeButton(this, tr("&No"));

  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(findLabel, this), 0, 0);
  grid->addWidget(find_, 0, 1);
  auto* replaceName = new QLabel(replaceLabel, this);
  grid->addWidget(replaceName, 1, 0);
  grid->addWidget(replace_, 1, 1);
  // A rule that ignores the references has nothing to replace them with.
  replaceName->setVisible(!request_.reject);
  replace_->setVisible(!request_.reject);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(recursive_);
  buttons->addStretch(1);
  buttons->addWidget(yes_);
  buttons->addWidget(no_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(what);
  layout->addLayout(grid);
  layout->addLayout(buttons);

  // A folder chosen in the first list picks the folder at the same depth in the second.
  connect(find_, &QComboBox::activated, this, [this](int index) {
    if (index >= 0 && index < replace_->count()) replace_->setCurrentIndex(index);
  });
  connect(yes_, &QPushButton::clicked, this, [this] {
    yesPressed_ = true;
    accept();
  });
  connect(no_, &QPushButton::clicked, this, &QDialog::reject);
}

PatternReply PatternDialog::reply() const {
  PatternReply reply{IDCANCEL, request_.findSelected, request_.replaceSelected};
  if (!yesPressed_) return reply;
  reply.answer = recursive_->isChecked() ? IDNO : IDYES;
  if (find_->currentIndex() >= 0) reply.findChoice = static_cast<std::size_t>(find_->currentIndex());
  if (replace_->currentIndex() >= 0) reply.replaceChoice = static_cast<std::size_t>(replace_->currentIndex());
  return reply;
}

PatternReply runPatternDialog(QWidget* parent, const PatternRequest& request) {
  PatternDialog dialog(request, parent ? parent : QApplication::activeWindow());
  dialog.exec();
  return dialog.reply();
}

}  // namespace talmoor::verify::ui
