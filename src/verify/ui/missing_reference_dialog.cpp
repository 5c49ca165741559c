#include "verify/ui/missing_reference_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/dialog_controls.h"
#include "base/workspace.h"
#include "platform/files/windows_files.h"
#include "search/search_options.h"

namespace talmoor::verify::ui {

using search::ConfirmationAnswer;

using gui::makeButton;
using gui::makeLine;
using gui::spokenName;

namespace {

// The program's texts are UTF-8.
QString qs(std::string_view text) { return gui::fromUtf8(text); }

const char* const kRememberText = "Do not show this dialog for above file reference in future.   ";
const char* const kAllQueriesText = "Do not show this dialog for this type of query in future.   ";
const char* const kSuggestionsText = "Suggested Alternate Locations ";
// How often the list looks for what the search has found meanwhile.
constexpr int kPollMilliseconds = 100;

QCheckBox* makeBox(QWidget* parent, const char* label, bool ticked) {
  auto* box = new QCheckBox(QString::fromLatin1(label), parent);
  box->setObjectName(spokenName(box->text()));
  box->setAccessibleName(spokenName(box->text()));
  box->setChecked(ticked);
  return box;
}

// The file dialog over the host's folders: it starts where the reference
// points, and the chosen file comes back as a Windows path.
QString chooseOnHost(QWidget* parent, const QString& title, const QString& reference) {
  const auto profile = Workspace::current().profile();
  const platform::DriveMap drives = profile ? profile->drives() : platform::DriveMap{};
  const auto start = platform::hostPathOf(reference.toStdString(), drives);
  const QString chosen =
      QFileDialog::getOpenFileName(parent, title, start ? QString::fromStdString(start->string()) : QString());
  if (chosen.isEmpty()) return {};
  const auto windows = platform::windowsPathOf(chosen.toStdString(), drives);
  return windows ? qs(*windows) : QString();
}

}  // namespace

MissingReferenceDialog::MissingReferenceDialog(const MissingReferenceRequest& request, QWidget* parent)
    : QDialog(parent), request_(request), chooseFile_(chooseOnHost) {
  setObjectName(QStringLiteral("MissingFileReference"));
  setWindowTitle(tr("Missing File Reference"));
  setAccessibleName(windowTitle());
  setModal(true);

  auto* fields = new QGridLayout();
  auto addField = [&](int row, const QString& label, QWidget* field) {
    fields->addWidget(new QLabel(label, this), row, 0);
    fields->addWidget(field, row, 1);
  };
  addField(0, tr("Path"), makeLine(this, tr("Path"), request_.keyPath, false));
  addField(1, tr("Value"), makeLine(this, tr("Value"), request_.itemName, false));
  addField(2, tr("Original"), makeLine(this, tr("Original"), request_.dataText, false));
  addField(3, tr("Filename"), makeLine(this, tr("Filename"), request_.reference, false));
  modified_ = makeLine(this, tr("Modified"), request_.proposal.value_or(""), true);
  browse_ = makeButton(this, tr("&Browse"));
  auto* modifiedRow = new QHBoxLayout();
  modifiedRow->addWidget(modified_, 1);
  modifiedRow->addWidget(browse_);
  fields->addWidget(new QLabel(tr("Modified"), this), 4, 0);
  fields->addLayout(modifiedRow, 4, 1);

  auto* suggestionsLabel = new QLabel(QString::fromLatin1(kSuggestionsText), this);
  suggestions_ = new QListWidget(this);
  suggestions_->setObjectName(spokenName(suggestionsLabel->text()));
  suggestions_->setAccessibleName(spokenName(suggestionsLabel->text()));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
  status_->setAccessibleName(tr("Status"));
  remember_ = makeBox(this, kRememberText, true);
  allQueries_ = makeBox(this, kAllQueriesText, false);
  accept_ = makeButton(this, tr("&Accept"));
  reject_ = makeButton(this, tr("&Reject"));
  cancel_ = makeButton(this, tr("&Cancel"));

  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  for (QPushButton* button : {accept_, reject_, cancel_}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(suggestionsLabel);
  layout->addWidget(suggestions_, 1);
  layout->addWidget(remember_);
  layout->addWidget(allQueries_);
  layout->addLayout(buttons);
  layout->addWidget(status_);

  connect(modified_, &QLineEdit::textEdited, this, [this] { updateAccept(); });
  connect(suggestions_, &QListWidget::currentTextChanged, this, [this](const QString& text) {
    if (!text.isEmpty()) propose(text);
  });
  connect(browse_, &QPushButton::clicked, this, &MissingReferenceDialog::browse);
  connect(allQueries_, &QCheckBox::toggled, this, [this] { updateAccept(); });
  connect(accept_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Accept)); });
  connect(reject_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Reject)); });
  connect(cancel_, &QPushButton::clicked, this, [this] { answer(static_cast<int>(ConfirmationAnswer::Cancel)); });
  updateAccept();

  if (request_.suggestions) {
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMilliseconds);
    connect(poll_, &QTimer::timeout, this, &MissingReferenceDialog::pollSuggestions);
    poll_->start();
    pollSuggestions();
  }
  resize(620, 460);
}

MissingReferenceDialog::~MissingReferenceDialog() { stopSearch(); }

void MissingReferenceDialog::pollSuggestions() {
  const std::vector<std::string> found = request_.suggestions->suggestions();
  for (; shown_ < found.size(); ++shown_) suggestions_->addItem(qs(found[shown_]));
  const std::string status = request_.suggestions->status();
  if (!status.empty()) status_->setText(qs(status));
  if (request_.suggestions->finished()) {
    // The last of them is in: nothing more will come.
    poll_->stop();
    if (status.empty()) status_->setText(tr("Search Completed."));
  }
}

void MissingReferenceDialog::propose(const QString& replacement) {
  modified_->setText(replacement);
  updateAccept();
}

void MissingReferenceDialog::updateAccept() {
  // An Accept remembered for every later reference would give them all this
  // one's replacement: only Reject and Cancel can stand for all.
  accept_->setEnabled(!modified_->text().isEmpty() && !allQueries_->isChecked());
}

void MissingReferenceDialog::browse() {
  const std::string& reference = request_.reference;
  const std::size_t slash = reference.rfind('\\');
  const std::string fileName = slash == std::string::npos ? reference : reference.substr(slash + 1);
  const QString title = tr("Select Replacement File/Directory (%1)").arg(qs(fileName));
  const QString chosen = chooseFile_ ? chooseFile_(this, title, qs(reference)) : QString();
  if (!chosen.isEmpty()) propose(chosen);
}

void MissingReferenceDialog::answer(int answer) {
  answer_ = answer;
  accept();
}

void MissingReferenceDialog::stopSearch() {
  if (poll_) poll_->stop();
  if (request_.suggestions) request_.suggestions->stop = true;
}

void MissingReferenceDialog::done(int result) {
  // Closing the window is Reject.
  if (result != QDialog::Accepted) answer_ = static_cast<int>(ConfirmationAnswer::Reject);
  stopSearch();
  QDialog::done(result);
}

MissingReferenceReply MissingReferenceDialog::reply() const {
  MissingReferenceReply reply;
  reply.answer = answer_ + (allQueries_->isChecked() ? search::kDoNotShowFlag : 0);
  reply.remember = remember_->isChecked();
  if (!modified_->text().isEmpty()) reply.replacement = modified_->text().toStdString();
  return reply;
}

MissingReferenceReply runMissingReferenceDialog(QWidget* parent, const MissingReferenceRequest& request) {
  MissingReferenceDialog dialog(request, parent ? parent : QApplication::activeWindow());
  dialog.exec();
  return dialog.reply();
}

}  // namespace talmoor::verify::ui
