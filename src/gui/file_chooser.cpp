#include "gui/file_chooser.h"

#include <QFileDialog>

namespace talmoor::gui {

QString chooseWithDialog(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.title, QString(), request.filters);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace talmoor::gui
