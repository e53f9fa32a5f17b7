// What the windows ask of the desktop: file dialogs, message boxes, the browser and
// the text editor, the about box and quitting. The windows never call these
// directly, so tests put a scripted environment in their place and nothing blocks.
#pragma once

#include <QString>
#include <QUrl>

#include "form/actions.h"
#include "form/conversion_options.h"

class QWidget;

namespace varnolt {

// Title of every failure box.
inline QString ErrorTitle() {
  return QString::fromUtf8(form::kErrorTitle.data(), static_cast<qsizetype>(form::kErrorTitle.size()));
}

class FormEnvironment {
 public:
  virtual ~FormEnvironment() = default;
  // The chosen file's full path; empty when the dialog was cancelled. `filter` is in
  // Qt's syntax ("kml文件(*.kml)", entries separated by ";;").
  virtual QString SaveFileName(QWidget* parent, const QString& title,
                               const QString& filter) = 0;
  virtual QString OpenFileName(QWidget* parent, const QString& title,
                               const QString& filter) = 0;
  // A modal message box with an OK button; `detail` goes to its detailed text.
  virtual void ShowMessage(QWidget* parent, MessageIcon icon, const QString& title,
                           const QString& text, const QString& detail) = 0;
  // Hands a web address or a local file to the desktop (browser, text editor).
  virtual bool OpenUrl(const QUrl& url) = 0;
  virtual void ShowAbout(QWidget* parent) = 0;
  virtual void Quit() = 0;
  // The conversion options dialog; false when it was cancelled.
  virtual bool EditOptions(QWidget* parent, ConversionOptions& options);
};

// The real desktop: Qt's dialogs and QDesktopServices.
class DesktopEnvironment : public FormEnvironment {
 public:
  QString SaveFileName(QWidget* parent, const QString& title,
                       const QString& filter) override;
  QString OpenFileName(QWidget* parent, const QString& title,
                       const QString& filter) override;
  void ShowMessage(QWidget* parent, MessageIcon icon, const QString& title,
                   const QString& text, const QString& detail) override;
  bool OpenUrl(const QUrl& url) override;
  void ShowAbout(QWidget* parent) override;
  void Quit() override;
};

}  // namespace varnolt
