#pragma once
// The small controls the dialogs build, each named for screen readers by its
// label: the name is the label without its mnemonic marker and colon.

#include <QString>
#include <string>
#include <string_view>

class QLineEdit;
class QPushButton;
class QWidget;

namespace talmoor::gui {

QString fromUtf8(std::string_view text);
// "&Accept" -> "Accept", "Minimise :" -> "Minimise".
QString spokenName(const QString& label);
// A line showing `text`, named `name`, editable or read-only.
QLineEdit* makeLine(QWidget* parent, const QString& name, const std::string& text, bool editable);
// A push button that is not the dialog's default when it has the focus.
QPushButton* makeButton(QWidget* parent, const QString& label);

}  // namespace talmoor::gui
