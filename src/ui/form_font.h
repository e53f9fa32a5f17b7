// The windows' Chinese font: SimSun (宋体) where it is installed, else WenQuanYi
// Micro Hei, the CJK font the project's bootstrap installs.
#pragma once

#include <QFont>
#include <QString>

namespace varnolt {

QString FormFontFamily();
QFont FormFont(double points);

}  // namespace varnolt
