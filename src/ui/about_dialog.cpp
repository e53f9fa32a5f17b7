#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace varnolt {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("aboutfrm");
  setWindowTitle(QStringLiteral("关于 Varnolt"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(this);
  text->setObjectName("aboutText");
  text->setTextFormat(Qt::RichText);
  text->setOpenExternalLinks(true);
  text->setText(QStringLiteral(
                    "<h3>Varnolt程序 V1.1</h3>"
                    "<p>将高斯-克吕格平面坐标（北京54 / 西安80）的CAD图形转换为 Google Earth "
                    "的 KML 文件。<br>Converts CAD drawings on a Gauss-Krüger plane into KML "
                    "for Google Earth.</p>"
                    "<p>版本 Version 1.1<br>版权所有 All rights reserved.</p>"
                    "<p>主页 Home page: <a href=\"%1\">%1</a></p>"
                    "<p>使用的库 Libraries used: Qt 6, CLI11, libzip, GoogleTest; "
                    "PROJ (tests only).</p>")
                    .arg(QString::fromLatin1(kHomePage)));
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace varnolt
