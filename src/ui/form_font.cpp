#include "ui/form_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace varnolt {

QString FormFontFamily() {
  const QStringList families = QFontDatabase::families();
  for (const QString& name : {QStringLiteral("SimSun"), QStringLiteral("宋体"),
                              QStringLiteral("NSimSun"), QStringLiteral("WenQuanYi Micro Hei")}) {
    if (families.contains(name, Qt::CaseInsensitive)) return name;
  }
  return QStringLiteral("WenQuanYi Micro Hei");
}

QFont FormFont(double points) {
  QFont font(FormFontFamily());
  font.setPointSizeF(points);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace varnolt
