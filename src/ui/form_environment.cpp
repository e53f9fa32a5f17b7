#include "ui/form_environment.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/about_dialog.h"
#include "ui/options_dialog.h"

namespace varnolt {

QString DesktopEnvironment::SaveFileName(QWidget* parent, const QString& title,
                                         const QString& filter) {
  return QFileDialog::getSaveFileName(parent, title, QString(), filter);
}

QString DesktopEnvironment::OpenFileName(QWidget* parent, const QString& title,
                                         const QString& filter) {
  return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

void DesktopEnvironment::ShowMessage(QWidget* parent, MessageIcon icon,
                                     const QString& title, const QString& text,
                                     const QString& detail) {
  QMessageBox box(parent);
  switch (icon) {
    case MessageIcon::kCritical:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::kWarning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
  }
  box.setWindowTitle(title);
  box.setText(text);
  if (!detail.isEmpty()) box.setDetailedText(detail);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool DesktopEnvironment::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool FormEnvironment::EditOptions(QWidget* parent, ConversionOptions& options) {
  OptionsDialog dialog(options, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  options = dialog.Options();
  return true;
}

void DesktopEnvironment::ShowAbout(QWidget* parent) {
  AboutDialog dialog(parent);
  dialog.exec();
}

void DesktopEnvironment::Quit() { QCoreApplication::quit(); }

}  // namespace varnolt
