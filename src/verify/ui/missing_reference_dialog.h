#pragma once
// 'Missing File Reference': a file reference that names no file, with the
// other copies of the file that the search for alternate locations finds
// while the dialog is open. The user types or picks a replacement and
// answers Accept, Reject or Cancel. Closing the dialog stops that search.

#include <QDialog>
#include <functional>
#include <memory>

#include "base/interaction.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace talmoor::verify::ui {

class MissingReferenceDialog : public QDialog {
  Q_OBJECT

 public:
  // The file chosen with "&Browse" (a Windows path), empty when none was.
  using FileChooser = std::function<QString(QWidget* parent, const QString& title, const QString& reference)>;

  explicit MissingReferenceDialog(const MissingReferenceRequest& request, QWidget* parent = nullptr);
  ~MissingReferenceDialog() override;

  // Valid once the dialog has closed.
  MissingReferenceReply reply() const;
  void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

  QLineEdit* modifiedEdit() const { return modified_; }
  QListWidget* suggestionList() const { return suggestions_; }
  QCheckBox* rememberBox() const { return remember_; }
  QCheckBox* allQueriesBox() const { return allQueries_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* rejectButton() const { return reject_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* browseButton() const { return browse_; }
  QLabel* statusLabel() const { return status_; }

  void done(int result) override;

 private:
  // New suggestions and the search's status, taken from the feed.
  void pollSuggestions();
  void propose(const QString& replacement);
  void updateAccept();
  void browse();
  void answer(int answer);
  void stopSearch();

  MissingReferenceRequest request_;
  int answer_ = IDNO;
  std::size_t shown_ = 0;
  QLineEdit* modified_ = nullptr;
  QListWidget* suggestions_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QCheckBox* allQueries_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* reject_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* poll_ = nullptr;
  FileChooser chooseFile_;
};

// Shows the dialog modal over `parent` and returns its reply.
MissingReferenceReply runMissingReferenceDialog(QWidget* parent, const MissingReferenceRequest& request);

}  // namespace talmoor::verify::ui
