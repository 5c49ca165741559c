#pragma once
// Asking the user for a file: what a window asks for, and the file dialog
// that answers by default (tests answer with a function of their own).

#include <QString>
#include <functional>

class QWidget;

namespace talmoor::gui {

// The answer is the chosen file, empty when the user cancelled.
struct FileRequest {
  QString title;
  QString filters;
  QString defaultSuffix;
  bool save = false;
};
using FileChooser = std::function<QString(QWidget* parent, const FileRequest& request)>;

// Qt's file dialog, modal over `parent`.
QString chooseWithDialog(QWidget* parent, const FileRequest& request);

}  // namespace talmoor::gui
