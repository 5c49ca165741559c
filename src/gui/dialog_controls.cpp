#include "gui/dialog_controls.h"

#include <QLineEdit>
#include <QPushButton>

namespace talmoor::gui {

QString fromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString spokenName(const QString& label) {
  QString name = label;
  name.remove(QLatin1Char('&'));
  name.remove(QLatin1Char(':'));
  return name.simplified();
}

QLineEdit* makeLine(QWidget* parent, const QString& name, const std::string& text, bool editable) {
  auto* line = new QLineEdit(fromUtf8(text), parent);
  line->setObjectName(name);
  line->setAccessibleName(name);
  line->setReadOnly(!editable);
  return line;
}

QPushButton* makeButton(QWidget* parent, const QString& label) {
  auto* button = new QPushButton(label, parent);
  button->setObjectName(spokenName(label));
  button->setAccessibleName(spokenName(label));
  button->setAutoDefault(false);
  return button;
}

}  // namespace talmoor::gui
