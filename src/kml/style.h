// Colours and styles: an entity's colour number (ByBlock and ByLayer resolved), its
// colour text through the system's palette, and the Style / StyleMap pair that every
// Placemark of that colour refers to.
//
// Colour text: "FF" + blue + green + red, two upper-case hex digits each (KML's
// aabbggrr, opaque). Style key: "m_color" + colour text + "_width" + width text; the
// style reference a Placemark carries is "#" + style key.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cad/entity.h"

namespace varnolt {

// Colour of each layer by its exact (case-sensitive) name. Built once per run; with
// duplicate names the later layer wins, as a walk over the whole table would end.
struct LayerNameHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};
using LayerColors = std::unordered_map<std::string, int, LayerNameHash, std::equal_to<>>;
LayerColors BuildLayerColors(const std::vector<Layer>& layers);

// The entity's colour number: ByBlock (0) becomes 8; ByLayer (256) becomes its
// layer's colour, and stays 256 when no layer of that name exists (the caller
// reports that); any other number is returned as it is.
int colchuli(const Entity& ent, const LayerColors& layers);
int colchuli(int color, std::string_view layer, const LayerColors& layers);
// The same, walking the source's layer table (for a single lookup).
int colchuli(const Entity& ent, const EntitySource& source);

// Colour text of colour number `aci`. Throws Error(kGeneral) outside 1 to 255.
std::string hexjs(int aci);

// The line width as style keys and the width element spell it: bare text (.5, 6).
std::string WidthText(double width);

// "#m_color" + colour text + "_width" + width text.
std::string StyleReference(std::string_view colorText, std::string_view widthText);

// The 39 lines of one Style ("s_color...") and its StyleMap ("m_color...") with
// normal and highlight pointing to that Style; every line ends with CR LF, and
// every non-empty line starts with `qstab`.
std::string tostyle(std::string_view qstab, std::string_view color, double width);

// Polygons of a colour have a style of their own, written only when a polygon is:
// Style "s_poly" + colour text + "_width" + width text, with the LineStyle of
// tostyle and a PolyStyle of the colour at half opacity (alpha 80), and its
// StyleMap "m_poly" + the same, normal and highlight pointing to that Style.
std::string topolystyle(std::string_view qstab, std::string_view color, double width);

// "#m_poly" + colour text + "_width" + width text.
std::string PolygonStyleReference(std::string_view colorText, std::string_view widthText);

}  // namespace varnolt
