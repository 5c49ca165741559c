#pragma once
// The quick search bar above a browser's list: a box naming what is searched
// ("Key(s)", "Value(s)"), the text, "Actual" (raw names rather than the
// translated ones) and the "Quick Search" button.

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace talmoor::gui {

struct QuickSearchNames {
  QString scope;        // the box's text: "Key(s)"
  QString edit;         // accessible names, unique in the frame
  QString actual;
  QString button;
  QString editTip;
};

class QuickSearchBar : public QWidget {
  Q_OBJECT

 public:
  QuickSearchBar(const QuickSearchNames& names, QWidget* parent);

  QLineEdit* edit() const { return edit_; }
  QCheckBox* actual() const { return actual_; }
  QPushButton* button() const { return button_; }

 private:
  QCheckBox* scope_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QCheckBox* actual_ = nullptr;
  QPushButton* button_ = nullptr;
};

}  // namespace talmoor::gui
