// The about window reached from the "更多软件" button: name, version, licence and the
// libraries the program is built on.
#pragma once

#include <QDialog>

#include "form/actions.h"  // kHomePage

namespace varnolt {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace varnolt
