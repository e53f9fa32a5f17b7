// The conversion options dialog ("转换选项"), reached from the drawing window's menu:
// the content beyond the seven families and the document's organisation.
#pragma once

#include <QDialog>

#include <vector>

#include "form/conversion_options.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace varnolt {

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(const ConversionOptions& options, QWidget* parent = nullptr);

  // What the controls show now, over the options the dialog was given.
  ConversionOptions Options() const;

 public slots:
  // OK: refused while the seven parameters are chosen but are not seven numbers.
  void accept() override;

 private:
  ConversionOptions given_;
  std::vector<QCheckBox*> include_;  // in the order of form::kIncludeChoices
  std::vector<QCheckBox*> reading_;  // in the order of form::kReadingChoices
  QCheckBox* polygons_;
  QCheckBox* layerFolders_;
  QCheckBox* attributes_;
  QComboBox* altitude_;
  QCheckBox* zoneAuto_;
  QComboBox* method_;
  QLineEdit* helmert_;
  QCheckBox* coordinateFrame_;
  QCheckBox* gcj02_;
};

}  // namespace varnolt
