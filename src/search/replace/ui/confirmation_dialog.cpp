#include "search/replace/ui/confirmation_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialog_controls.h"
#include "hexedit/ui/hex_editor_widget.h"
#include "search/search_options.h"

namespace talmoor::search::ui {

using gui::makeButton;
using gui::makeLine;
using gui::spokenName;

namespace {

// The program's texts are UTF-8.
QString qs(std::string_view text) { return gui::fromUtf8(text); }

const char* const kHeading = "The following changes are to be made to the registy.";
const char* const kDoNotShow =
    "    Do not show this dialog for this type of query in future            (if checked, next selection applies to "
    "all queries of this type)";

// A single-line data editor: the hex editor, a few rows high.
hexedit::ui::HexEditorWidget* makeDataEditor(QWidget* parent, const QString& name,
                                             const std::vector<unsigned char>& bytes, bool editable) {
  auto* editor = new hexedit::ui::HexEditorWidget(parent);
  editor->setObjectName(name);
  editor->setAccessibleName(name);
  editor->editor().copyIn(std::span<const BYTE>(bytes.data(), bytes.size()));
  editor->editor().setReadOnly(!editable);
  editor->setMinimumHeight(editor->fontMetrics().height() * 4);
  return editor;
}

std::vector<unsigned char> bytesOf(const hexedit::ui::HexEditorWidget* editor) {
  auto bytes = editor->editor().bytes();
  return {bytes.begin(), bytes.end()};
}

}  // namespace

ConfirmationDialog::ConfirmationDialog(const ConfirmationRequest& request, QWidget* parent)
    : QDialog(parent), request_(request) {
  setObjectName(QStringLiteral("Confirmation"));
  setWindowTitle(request.caption.empty() ? tr("Auto Change Editor/Confirmation Dialog") : qs(request.caption));
  setAccessibleName(windowTitle());
  setModal(true);

  auto* heading = new QLabel(QString::fromLatin1(kHeading), this);
  doNotShow_ = new QCheckBox(QString::fromLatin1(kDoNotShow), this);
  doNotShow_->setObjectName(QStringLiteral("DoNotShow"));
  doNotShow_->setAccessibleName(spokenName(QString::fromLatin1(kDoNotShow)));
  accept_ = makeButton(this, tr("&Accept"));
  reject_ = makeButton(this, tr("&Reject"));
  cancel_ = makeButton(this, tr("&Cancel"));
  connect(accept_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Accept)); });
  connect(reject_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Reject)); });
  connect(cancel_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Cancel)); });

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  for (QPushButton* button : {accept_, reject_, cancel_}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addWidget(buildPathGroup());
  layout->addWidget(buildNameGroup());
  if (!request_.isKey) layout->addWidget(buildDataGroup(), 1);
  layout->addWidget(doNotShow_);
  layout->addLayout(buttons);
  resize(560, request_.isKey ? 260 : 420);
}

QWidget* ConfirmationDialog::buildPathGroup() {
  auto* group = new QGroupBox(tr("Path "), this);
  group->setAccessibleName(tr("Path"));
  auto* grid = new QGridLayout(group);
  int row = 0;
  auto addRow = [&](const QString& label, const std::optional<std::string>& path) {
    if (!path) return;
    auto* name = new QLabel(label, group);
    grid->addWidget(name, row, 0);
    grid->addWidget(makeLine(group, label, *path, false), row, 1);
    ++row;
  };
  addRow(tr("From"), request_.fromPath);
  // The new path alone names where the change goes.
  addRow(request_.fromPath ? tr("To") : tr("Name"), request_.toPath);
  group->setVisible(row > 0);
  return group;
}

QWidget* ConfirmationDialog::buildNameGroup() {
  auto* group = new QGroupBox(request_.isKey ? tr("Sub Key") : tr("Value"), this);
  group->setAccessibleName(group->title());
  auto* grid = new QGridLayout(group);
  const bool showOriginal = !request_.isKey || request_.originalName.has_value();
  if (showOriginal) {
    grid->addWidget(new QLabel(tr("Original"), group), 0, 0);
    grid->addWidget(makeLine(group, tr("Original Name"), request_.originalName.value_or(""), false), 0, 1);
  }
  grid->addWidget(new QLabel(tr("Modified"), group), 1, 0);
  modifiedName_ = makeLine(group, tr("Modified Name"), request_.modifiedName, true);
  grid->addWidget(modifiedName_, 1, 1);
  return group;
}

QWidget* ConfirmationDialog::buildDataGroup() {
  auto* group = new QGroupBox(tr("Data"), this);
  group->setAccessibleName(tr("Data"));
  auto* layout = new QVBoxLayout(group);
  const bool both = request_.originalData && request_.modifiedData;
  if (request_.originalData) {
    // Beside the new data the old is only there to compare with.
    originalData_ = makeDataEditor(group, tr("Original"), *request_.originalData,
                                   !both && request_.originalDataEditable);
    layout->addWidget(new QLabel(tr("Original"), group));
    layout->addWidget(originalData_, 1);
  }
  if (request_.modifiedData) {
    modifiedData_ = makeDataEditor(group, tr("Modified"), *request_.modifiedData, request_.modifiedDataEditable);
    layout->addWidget(new QLabel(tr("Modified"), group));
    layout->addWidget(modifiedData_, 1);
  }
  group->setVisible(request_.originalData || request_.modifiedData);
  return group;
}

void ConfirmationDialog::answer(int answer) {
  answer_ = answer;
  accept();
}

void ConfirmationDialog::done(int result) {
  // Closing the window (Escape, the title bar) is Reject.
  if (result != QDialog::Accepted) answer_ = static_cast<int>(ConfirmationAnswer::Reject);
  QDialog::done(result);
}

ConfirmationReply ConfirmationDialog::reply() const {
  ConfirmationReply reply;
  reply.answer = answer_ + (doNotShow_->isChecked() ? kDoNotShowFlag : 0);
  reply.modifiedName = modifiedName_->text().toStdString();
  reply.originalData = originalData_ ? std::optional(bytesOf(originalData_)) : request_.originalData;
  reply.modifiedData = modifiedData_ ? std::optional(bytesOf(modifiedData_)) : request_.modifiedData;
  return reply;
}

ConfirmationReply runConfirmationDialog(QWidget* parent, const ConfirmationRequest& request) {
  ConfirmationDialog dialog(request, parent ? parent : QApplication::activeWindow());
  dialog.exec();
  return dialog.reply();
}

}  // namespace talmoor::search::ui
