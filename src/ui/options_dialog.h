// The conversion options dialog ("转换选项"), reached from the drawing window's menu:
// the rows of form::OptionRows() in their group boxes.
#pragma once

#include <QDialog>

#include <vector>

#include "form/conversion_options.h"

namespace varnolt {

class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit OptionsDialog(const ConversionOptions& options, QWidget* parent = nullptr);

  // What the controls show now, over the options the dialog was given.
  ConversionOptions Options() const;

 public slots:
  // OK: refused, at the box, while a text box holds what cannot be used.
  void accept() override;

 private:
  form::OptionValues Values() const;
  void SyncEnabled();

  ConversionOptions given_;
  std::vector<QWidget*> controls_;  // one per row of form::OptionRows()
};

}  // namespace varnolt
