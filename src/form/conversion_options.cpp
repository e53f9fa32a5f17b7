#include "form/conversion_options.h"

#include <iterator>
#include <type_traits>
#include <utility>

#include "text/ascii.h"

namespace varnolt::form {

void SetZoneAuto(ConversionOptions& o, bool checked) {
  if (checked) {
    o.zoneInEastings = true;
    o.requiredZone = 0;
  } else if (o.requiredZone == 0) {
    o.zoneInEastings = false;
  }
}

std::string HelmertBoxText(const ConversionOptions& o) {
  return o.method == Method::kHelmert ? HelmertText(o.helmert) : std::string();
}

bool SetHelmertBoxText(ConversionOptions& o, std::string_view text) {
  std::optional<Helmert> h = ParseHelmert(text);
  if (!h) return false;
  h->convention = o.helmert.convention;
  o.helmert = *h;
  return true;
}

namespace {

OptionRow Row(std::string name, int group, OptionControl control, std::string_view caption) {
  OptionRow r;
  r.name = std::move(name);
  r.group = group;
  r.control = control;
  r.caption = caption;
  return r;
}

// The check box of kIncludeChoices[kIndex], named after its include= word.
template <size_t kIndex>
OptionRow IncludeRow() {
  constexpr unsigned kBit = kIncludeChoices[kIndex].bit;
  OptionRow r = Row("include_" + IncludeListText(kBit), 0, OptionControl::kCheck,
                    kIncludeChoices[kIndex].caption);
  r.value = [](const ConversionOptions& o) { return (o.include & kBit) != 0 ? 1 : 0; };
  r.setValue = [](ConversionOptions& o, int v) {
    o.include = v != 0 ? o.include | kBit : o.include & ~kBit;
  };
  return r;
}

// Every kind the dialog offers, in its order: one added there appears here.
template <size_t... kIndex>
void AddIncludeRows(std::vector<OptionRow>& rows, std::index_sequence<kIndex...>) {
  (rows.push_back(IncludeRow<kIndex>()), ...);
}

template <bool ConversionOptions::*kField>
OptionRow CheckRow(std::string name, int group, std::string_view caption) {
  OptionRow r = Row(name, group, OptionControl::kCheck, caption);
  r.value = [](const ConversionOptions& o) { return o.*kField ? 1 : 0; };
  r.setValue = [](ConversionOptions& o, int v) { o.*kField = v != 0; };
  return r;
}

// The yes/no box of kReadingChoices[kIndex].
template <size_t kIndex>
OptionRow ReadingRow() {
  constexpr SwitchChoice kChoice = kReadingChoices[kIndex];
  return CheckRow<kChoice.field>(std::string(kChoice.name), 1, kChoice.caption);
}

template <size_t... kIndex>
void AddReadingRows(std::vector<OptionRow>& rows, std::index_sequence<kIndex...>) {
  (rows.push_back(ReadingRow<kIndex>()), ...);
}

// A drop-down list over an enumeration, its choices in the enumeration's order.
template <auto kField, size_t kCount>
OptionRow ChoiceRow(std::string name, int group, std::string_view caption,
                    const std::string_view (&choices)[kCount]) {
  using Enum = std::remove_cvref_t<decltype(std::declval<ConversionOptions&>().*kField)>;
  OptionRow r = Row(name, group, OptionControl::kChoice, caption);
  r.choices.assign(std::begin(choices), std::end(choices));
  r.value = [](const ConversionOptions& o) { return static_cast<int>(o.*kField); };
  r.setValue = [](ConversionOptions& o, int v) { o.*kField = static_cast<Enum>(v); };
  return r;
}

bool HelmertChosen(const ConversionOptions& o) { return o.method == Method::kHelmert; }

std::vector<OptionRow> MakeRows() {
  std::vector<OptionRow> rows;
  AddIncludeRows(rows, std::make_index_sequence<std::size(kIncludeChoices)>());
  rows.insert(rows.end(), {
      CheckRow<&ConversionOptions::polygons>("polygons", 1, kPolygonsCaption),
      CheckRow<&ConversionOptions::layerFolders>("folders", 1, kLayerFoldersCaption),
      CheckRow<&ConversionOptions::attributes>("attributes", 1, kAttributesCaption),
  });
  rows.push_back(ChoiceRow<&ConversionOptions::altitude>("altitude", 1, kAltitudeCaption,
                                                         kAltitudeChoices));
  AddReadingRows(rows, std::make_index_sequence<std::size(kReadingChoices)>());

  OptionRow zone = Row("zone", 2, OptionControl::kCheck, kZoneAutoCaption);
  zone.value = [](const ConversionOptions& o) { return ZoneAutoChecked(o) ? 1 : 0; };
  zone.setValue = [](ConversionOptions& o, int v) { SetZoneAuto(o, v != 0); };
  rows.push_back(zone);
  rows.push_back(ChoiceRow<&ConversionOptions::method>("method", 2, kMethodCaption, kMethodChoices));
  // The seven numbers matter only with their method chosen, which the row before sets.
  OptionRow helmert = Row("helmert", 2, OptionControl::kText, kHelmertCaption);
  helmert.text = HelmertBoxText;
  helmert.setText = [](ConversionOptions& o, std::string_view t) {
    return !HelmertChosen(o) || SetHelmertBoxText(o, TrimBlanks(t));
  };
  helmert.badText = "七参数应为七个以逗号分隔的数：dx,dy,dz（米），rx,ry,rz（秒），ppm";
  helmert.enabled = HelmertChosen;
  rows.push_back(helmert);
  OptionRow frame = Row("helmert_convention", 2, OptionControl::kCheck, kCoordinateFrameCaption);
  frame.value = [](const ConversionOptions& o) {
    return o.helmert.convention == RotationConvention::kCoordinateFrame ? 1 : 0;
  };
  frame.setValue = [](ConversionOptions& o, int v) {
    o.helmert.convention =
        v != 0 ? RotationConvention::kCoordinateFrame : RotationConvention::kPositionVector;
  };
  frame.enabled = HelmertChosen;
  rows.push_back(frame);
  rows.push_back(CheckRow<&ConversionOptions::gcj02>("output_datum", 2, kGcj02Caption));
  return rows;
}

}  // namespace

const std::vector<OptionRow>& OptionRows() {
  static const std::vector<OptionRow> rows = MakeRows();
  return rows;
}

const OptionRow* FindOptionRow(std::string_view name) {
  for (const OptionRow& r : OptionRows()) {
    if (r.name == name) return &r;
  }
  return nullptr;
}

OptionValues OptionValuesOf(const ConversionOptions& options) {
  OptionValues v;
  for (const OptionRow& r : OptionRows()) {
    v.values.push_back(r.value ? r.value(options) : 0);
    v.texts.push_back(r.text ? r.text(options) : std::string());
  }
  return v;
}

EditedOptions OptionsOf(const ConversionOptions& given, const OptionValues& values) {
  EditedOptions out{given, std::nullopt};
  const std::vector<OptionRow>& rows = OptionRows();
  for (size_t i = 0; i < rows.size(); ++i) {
    const OptionRow& r = rows[i];
    if (r.control == OptionControl::kText) {
      const std::string text = i < values.texts.size() ? values.texts[i] : std::string();
      if (!r.setText(out.options, text) && !out.badRow) out.badRow = i;
    } else if (i < values.values.size()) {
      r.setValue(out.options, values.values[i]);
    }
  }
  return out;
}

Settings SaveConversionOptions(const std::filesystem::path& settingsPath,
                               const ConversionOptions& options) {
  Settings s = LoadSettings(settingsPath);
  StoreConversionOptions(options, s);
  SaveSettings(settingsPath, s);
  return s;
}

}  // namespace varnolt::form
