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

namespace {

QString Q(std::string_view text) { return ToQString(std::string(text)); }

}  // namespace

OptionsDialog::OptionsDialog(const ConversionOptions& options, QWidget* parent)
    : QDialog(parent), given_(options) {
  setObjectName("optionsDialog");
  setWindowTitle(Q(form::kOptionsCaption));
  auto* layout = new QVBoxLayout(this);
  std::vector<QFormLayout*> groups;
  for (std::string_view caption : form::kOptionGroups) {
    auto* box = new QGroupBox(Q(caption), this);
    groups.push_back(new QFormLayout(box));
    layout->addWidget(box);
  }
  const form::OptionValues values = form::OptionValuesOf(options);
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    const form::OptionRow& row = rows[i];
    QFormLayout* group = groups[static_cast<size_t>(row.group)];
    QWidget* control = nullptr;
    if (row.control == form::OptionControl::kCheck) {
      auto* box = new QCheckBox(Q(row.caption), this);
      box->setChecked(values.values[i] != 0);
      connect(box, &QCheckBox::toggled, this, &OptionsDialog::SyncEnabled);
      group->addRow(box);
      control = box;
    } else if (row.control == form::OptionControl::kChoice) {
      auto* combo = new QComboBox(this);
      for (std::string_view choice : row.choices) combo->addItem(Q(choice));
      combo->setCurrentIndex(values.values[i]);
      connect(combo, &QComboBox::currentIndexChanged, this, &OptionsDialog::SyncEnabled);
      group->addRow(Q(row.caption), combo);
      control = combo;
    } else {
      auto* edit = new QLineEdit(Q(values.texts[i]), this);
      group->addRow(Q(row.caption), edit);
      control = edit;
    }
    control->setObjectName(Q(row.name));
    controls_.push_back(control);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  SyncEnabled();
}

form::OptionValues OptionsDialog::Values() const {
  form::OptionValues v;
  for (QWidget* control : controls_) {
    int value = 0;
    std::string text;
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
      value = box->isChecked() ? 1 : 0;
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      value = combo->currentIndex();
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      text = ToUtf8(edit->text());
    }
    v.values.push_back(value);
    v.texts.push_back(std::move(text));
  }
  return v;
}

void OptionsDialog::SyncEnabled() {
  const ConversionOptions now = form::OptionsOf(given_, Values()).options;
  const std::vector<form::OptionRow>& rows = form::OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    controls_[i]->setEnabled(rows[i].enabled == nullptr || rows[i].enabled(now));
  }
}

void OptionsDialog::accept() {
  const form::EditedOptions edited = form::OptionsOf(given_, Values());
  if (edited.badRow) {
    auto* edit = qobject_cast<QLineEdit*>(controls_[*edited.badRow]);
    if (edit) {
      edit->setFocus();
      edit->selectAll();
    }
    return;
  }
  QDialog::accept();
}

ConversionOptions OptionsDialog::Options() const { return form::OptionsOf(given_, Values()).options; }

}  // namespace varnolt
