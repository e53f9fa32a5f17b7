#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace varnolt {

OptionsDialog::OptionsDialog(const form::ConversionOptions& options, QWidget* parent)
    : QDialog(parent) {
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

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(content);
  layout->addWidget(document);
  layout->addWidget(buttons);
}

form::ConversionOptions OptionsDialog::Options() const {
  form::ConversionOptions o;
  for (size_t k = 0; k < include_.size(); ++k) {
    if (include_[k]->isChecked()) o.include |= form::kIncludeChoices[k].bit;
  }
  o.polygons = polygons_->isChecked();
  o.layerFolders = layerFolders_->isChecked();
  o.attributes = attributes_->isChecked();
  o.altitude = static_cast<form::Altitude>(altitude_->currentIndex());
  return o;
}

}  // namespace varnolt
