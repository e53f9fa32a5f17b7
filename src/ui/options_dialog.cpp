#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace varnolt {

OptionsDialog::OptionsDialog(const ConversionOptions& options, QWidget* parent)
    : QDialog(parent), given_(options) {
  setObjectName("optionsDialog");
  setWindowTitle(ToQString(std::string(form::kOptionsCaption)));

  auto* content = new QGroupBox(QStringLiteral("同时转换"), this);
  auto* contentLayout = new QVBoxLayout(content);
  for (const form::IncludeChoice& choice : form::kIncludeChoices) {
    auto* box = new QCheckBox(ToQString(std::string(choice.caption)), content);
    box->setChecked((options.include & choice.bit) != 0);
    contentLayout->addWidget(box);
    include_.push_back(box);
  }

  for (const form::SwitchChoice& choice : form::kReadingChoices) {
    auto* box = new QCheckBox(ToQString(std::string(choice.caption)), content);
    box->setChecked(options.*choice.field);
    contentLayout->addWidget(box);
    reading_.push_back(box);
  }

  auto* document = new QGroupBox(QStringLiteral("文档"), this);
  auto* documentLayout = new QFormLayout(document);
  polygons_ = new QCheckBox(ToQString(std::string(form::kPolygonsCaption)), document);
  polygons_->setChecked(options.polygons);
  layerFolders_ = new QCheckBox(ToQString(std::string(form::kLayerFoldersCaption)), document);
  layerFolders_->setChecked(options.layerFolders);
  attributes_ = new QCheckBox(ToQString(std::string(form::kAttributesCaption)), document);
  attributes_->setChecked(options.attributes);
  altitude_ = new QComboBox(document);
  altitude_->setObjectName("altitude");
  for (std::string_view choice : form::kAltitudeChoices) {
    altitude_->addItem(ToQString(std::string(choice)));
  }
  altitude_->setCurrentIndex(static_cast<int>(options.altitude));
  documentLayout->addRow(polygons_);
  documentLayout->addRow(layerFolders_);
  documentLayout->addRow(attributes_);
  documentLayout->addRow(ToQString(std::string(form::kAltitudeCaption)), altitude_);

  auto* crs = new QGroupBox(QStringLiteral("坐标系统"), this);
  auto* crsLayout = new QFormLayout(crs);
  zoneAuto_ = new QCheckBox(ToQString(std::string(form::kZoneAutoCaption)), crs);
  zoneAuto_->setChecked(form::ZoneAutoChecked(options));
  method_ = new QComboBox(crs);
  method_->setObjectName("method");
  for (std::string_view choice : form::kMethodChoices) method_->addItem(ToQString(std::string(choice)));
  method_->setCurrentIndex(static_cast<int>(options.method));
  helmert_ = new QLineEdit(ToQString(form::HelmertBoxText(options)), crs);
  helmert_->setObjectName("helmert");
  coordinateFrame_ = new QCheckBox(ToQString(std::string(form::kCoordinateFrameCaption)), crs);
  coordinateFrame_->setChecked(options.helmert.convention == RotationConvention::kCoordinateFrame);
  gcj02_ = new QCheckBox(ToQString(std::string(form::kGcj02Caption)), crs);
  gcj02_->setChecked(options.gcj02);
  crsLayout->addRow(zoneAuto_);
  crsLayout->addRow(ToQString(std::string(form::kMethodCaption)), method_);
  crsLayout->addRow(ToQString(std::string(form::kHelmertCaption)), helmert_);
  crsLayout->addRow(coordinateFrame_);
  crsLayout->addRow(gcj02_);
  // The seven numbers matter only with their method chosen.
  auto sync = [this] {
    const bool helmert = method_->currentIndex() == static_cast<int>(Method::kHelmert);
    helmert_->setEnabled(helmert);
    coordinateFrame_->setEnabled(helmert);
  };
  connect(method_, &QComboBox::currentIndexChanged, this, sync);
  sync();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(content);
  layout->addWidget(document);
  layout->addWidget(crs);
  layout->addWidget(buttons);
}

void OptionsDialog::accept() {
  // Seven parameters that are not seven numbers keep the dialog open at their box.
  ConversionOptions o = given_;
  if (method_->currentIndex() == static_cast<int>(Method::kHelmert) &&
      !form::SetHelmertBoxText(o, ToUtf8(helmert_->text().trimmed()))) {
    helmert_->setFocus();
    helmert_->selectAll();
    return;
  }
  QDialog::accept();
}

ConversionOptions OptionsDialog::Options() const {
  // What the dialog does not show (the zone a coordinate system fixed, the saved fit,
  // the datum) stays as it came.
  ConversionOptions o = given_;
  o.include = 0;
  for (size_t k = 0; k < include_.size(); ++k) {
    if (include_[k]->isChecked()) o.include |= form::kIncludeChoices[k].bit;
  }
  for (size_t k = 0; k < reading_.size(); ++k) {
    o.*form::kReadingChoices[k].field = reading_[k]->isChecked();
  }
  o.polygons = polygons_->isChecked();
  o.layerFolders = layerFolders_->isChecked();
  o.attributes = attributes_->isChecked();
  o.altitude = static_cast<Altitude>(altitude_->currentIndex());
  form::SetZoneAuto(o, zoneAuto_->isChecked());
  o.method = static_cast<Method>(method_->currentIndex());
  if (o.method == Method::kHelmert) form::SetHelmertBoxText(o, ToUtf8(helmert_->text().trimmed()));
  o.helmert.convention = coordinateFrame_->isChecked() ? RotationConvention::kCoordinateFrame
                                                       : RotationConvention::kPositionVector;
  o.gcj02 = gcj02_->isChecked();
  return o;
}

}  // namespace varnolt
