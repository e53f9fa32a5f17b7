// The about window reached from the "更多软件" button: name, version, licence and the
// libraries the program is built on.
#pragma once

#include <QDialog>

namespace varnolt {

// The maker's home page, opened by the "更多软件" button.
inline constexpr const char* kHomePage = "https://varnolt.example.com/";

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace varnolt
