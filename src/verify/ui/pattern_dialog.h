#pragma once
// 'Pattern Detected': two missing references share a folder. The user
// picks the folder prefix to replace (or ignore) and what replaces it, and
// answers "&Yes" (a prefix rule), "&Yes" with "&Recursive" ticked, or "&No".

#include <QDialog>

#include "base/interaction.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace talmoor::verify::ui {

class PatternDialog : public QDialog {
  Q_OBJECT

 public:
  explicit PatternDialog(const PatternRequest& request, QWidget* parent = nullptr);

  // Valid once the dialog has closed.
  PatternReply reply() const;

  QComboBox* findList() const { return find_; }
  QComboBox* replaceList() const { return replace_; }
  QCheckBox* recursiveBox() const { return recursive_; }
  QPushButton* yesButton() const { return yes_; }
  QPushButton* noButton() const { return no_; }

 private:
  PatternRequest request_;
  bool yesPressed_ = false;
  QComboBox* find_ = nullptr;
  QComboBox* replace_ = nullptr;
  QCheckBox* recursive_ = nullptr;
  QPushButton* yes_ = nullptr;
  QPushButton* no_ = nullptr;
};

// Shows the dialog modal over `parent` and returns its reply.
PatternReply runPatternDialog(QWidget* parent, const PatternRequest& request);

}  // namespace talmoor::verify::ui
