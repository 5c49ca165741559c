#pragma once
// 'Auto Change Editor/Confirmation Dialog': a write about to be made, shown
// before it is made. The user may edit the new name and the data (in the
// hex editor) and answers Accept, Reject or Cancel; the do-not-show box
// makes the answer stand for every later change of the same kind.

#include <QDialog>

#include "base/interaction.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace talmoor::hexedit::ui {
class HexEditorWidget;
}

namespace talmoor::search::ui {

class ConfirmationDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConfirmationDialog(const ConfirmationRequest& request, QWidget* parent = nullptr);

  // The answer (with 32 added for the do-not-show box), the edited name and
  // the editors' data. Valid once the dialog has closed.
  ConfirmationReply reply() const;

  QLineEdit* modifiedNameEdit() const { return modifiedName_; }
  // Null where the dialog has no such editor.
  hexedit::ui::HexEditorWidget* originalDataEditor() const { return originalData_; }
  hexedit::ui::HexEditorWidget* modifiedDataEditor() const { return modifiedData_; }
  QCheckBox* doNotShowBox() const { return doNotShow_; }
  QPushButton* acceptButton() const { return accept_; }
  QPushButton* rejectButton() const { return reject_; }
  QPushButton* cancelButton() const { return cancel_; }

  void done(int result) override;

 private:
  QWidget* buildPathGroup();
  QWidget* buildNameGroup();
  QWidget* buildDataGroup();
  void answer(int answer);

  ConfirmationRequest request_;
  int answer_ = IDNO;
  QLineEdit* modifiedName_ = nullptr;
  hexedit::ui::HexEditorWidget* originalData_ = nullptr;
  hexedit::ui::HexEditorWidget* modifiedData_ = nullptr;
  QCheckBox* doNotShow_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* reject_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Shows the dialog modal over `parent` and returns its reply.
ConfirmationReply runConfirmationDialog(QWidget* parent, const ConfirmationRequest& request);

}  // namespace talmoor::search::ui
