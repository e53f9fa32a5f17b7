#include "kml/style.h"

#include "base/error.h"
#include "kml/palette.h"
#include "text/numtext.h"

namespace varnolt {

LayerColors BuildLayerColors(const std::vector<Layer>& layers) {
  LayerColors colors;
  colors.reserve(layers.size());
  for (const Layer& layer : layers) colors[layer.name] = layer.color;
  return colors;
}

int colchuli(int color, std::string_view layer, const LayerColors& layers) {
  int c = color;
  if (c == kColorByBlock) c = 8;
  if (c == kColorByLayer) {
    auto it = layers.find(layer);
    if (it != layers.end()) c = it->second;
  }
  return c;
}

int colchuli(const Entity& ent, const LayerColors& layers) {
  return colchuli(ent.color, ent.layer, layers);
}

int colchuli(const Entity& ent, const EntitySource& source) {
  return colchuli(ent, BuildLayerColors(source.Layers()));
}

std::string hexjs(int aci) {
  if (aci < 1 || aci > 255) {
    throw Error(ErrorKind::kGeneral, "colour number " + std::to_string(aci) +
                                         " is outside the palette (1 to 255)");
  }
  const PaletteRgb& rgb = kAciPalette[static_cast<size_t>(aci - 1)];
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "FF";
  for (uint8_t v : {rgb.blue, rgb.green, rgb.red}) {
    text += kHex[v >> 4];
    text += kHex[v & 0xF];
  }
  return text;
}

std::string WidthText(double width) { return BareText(width); }

std::string StyleReference(std::string_view colorText, std::string_view widthText) {
  std::string ref = "#m_color";
  ref += colorText;
  ref += "_width";
  ref += widthText;
  return ref;
}

namespace {

// Writes lines of a style: qstab, the pieces given, CR LF.
class StyleLines {
 public:
  StyleLines(std::string& out, std::string_view qstab) : out_(out), qstab_(qstab) {}
  void operator()(std::string_view a, std::string_view b = {}, std::string_view c = {},
                  std::string_view d = {}) {
    out_ += qstab_;
    out_ += a;
    out_ += b;
    out_ += c;
    out_ += d;
    out_ += "\r\n";
  }
  void Empty() { out_ += "\r\n"; }

 private:
  std::string& out_;
  std::string_view qstab_;
};

// The StyleMap "m_<kind><id>" whose normal and highlight both point to the Style
// "s_<kind><id>", each line after `qstab`, CR LF after each, a blank line after it.
void AppendStyleMap(std::string& out, std::string_view qstab, std::string_view kind,
                    std::string_view id) {
  StyleLines line(out, qstab);
  line("<StyleMap id=\"m_", kind, id, "\">");
  out += "\r\n";
  for (std::string_view key : {"normal", "highlight"}) {
    line("\t<Pair>");
    line("\t\t<key>", key, "</key>");
    line("\t\t<styleUrl>#s_", kind, id, "</styleUrl>");
    line("\t</Pair>");
    out += "\r\n";
  }
  line("</StyleMap>");
  out += "\r\n";
}

}  // namespace

std::string tostyle(std::string_view qstab, std::string_view color, double width) {
  const std::string W = WidthText(width);
  std::string id;  // color + "_width" + W, shared by both ids and both pairs
  id += color;
  id += "_width";
  id += W;

  std::string out;
  StyleLines line(out, qstab);
  auto empty = [&] { line.Empty(); };

  line("<Style id=\"s_color", id, "\">");
  empty();
  line("\t<IconStyle>");
  line("\t\t<scale>1.0</scale>");
  line("\t\t<Icon>");
  line("\t\t</Icon>");
  line("\t\t<hotSpot x=\"20\" y=\"2\" xunits=\"pixels\" yunits=\"pixels\"/>");
  line("\t</IconStyle>");
  empty();
  line("\t<LabelStyle>");
  line("\t\t<color>", color, "</color>");
  line("\t</LabelStyle>");
  empty();
  line("\t<LineStyle>");
  line("\t\t<color>", color, "</color>");
  line("\t\t<width>", W, "</width>");
  line("\t</LineStyle>");
  empty();
  line("\t<PolyStyle>");
  line("\t\t<color>", color, "</color>");
  line("\t</PolyStyle>");
  empty();
  line("</Style>");
  empty();
  empty();
  AppendStyleMap(out, qstab, "color", id);
  return out;
}

std::string PolygonStyleReference(std::string_view colorText, std::string_view widthText) {
  std::string ref = "#m_poly";
  ref += colorText;
  ref += "_width";
  ref += widthText;
  return ref;
}

std::string topolystyle(std::string_view qstab, std::string_view color, double width) {
  const std::string W = WidthText(width);
  std::string id;
  id += color;
  id += "_width";
  id += W;
  // The colour text is opaque ("FF" first); the fill keeps its blue, green and red.
  std::string fill = "80";
  fill += color.size() > 2 ? color.substr(2) : color;

  std::string out;
  StyleLines line(out, qstab);
  auto empty = [&] { line.Empty(); };

  line("<Style id=\"s_poly", id, "\">");
  empty();
  line("\t<LineStyle>");
  line("\t\t<color>", color, "</color>");
  line("\t\t<width>", W, "</width>");
  line("\t</LineStyle>");
  empty();
  line("\t<PolyStyle>");
  line("\t\t<color>", fill, "</color>");
  line("\t\t<fill>1</fill>");
  line("\t\t<outline>1</outline>");
  line("\t</PolyStyle>");
  empty();
  line("</Style>");
  empty();
  empty();
  AppendStyleMap(out, qstab, "poly", id);
  return out;
}

}  // namespace varnolt
