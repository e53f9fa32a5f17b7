// The frame of the KML 2.1 document: its header, the LineString Placemark frame the
// line-like converters share, the Folder and document close, and the document name
// taken from the output path.
//
// Every line ends with CR LF and is indented with TABs. The document is UTF-8 from
// the start. Names (the document's and every Placemark's) go through AppendXmlText,
// so a drawing's "&", "<" or control characters cannot break the XML.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace varnolt {

// The published namespace of the KML 2.1 schema.
inline constexpr std::string_view kKmlNamespace = "http://earth.google.com/kml/2.1";

// Appends `text` as XML character data: invalid UTF-8 becomes U+FFFD, "&", "<" and
// ">" become entity references, and characters XML 1.0 forbids (C0 controls other
// than TAB, LF and CR; U+FFFE and U+FFFF) are dropped.
void AppendXmlText(std::string& out, std::string_view text);
std::string XmlText(std::string_view text);

// Lines 1 to 8 of the document, each ending with CR LF: the XML declaration, the
// kml and Document elements, an empty line, the document's name, and the Folder
// "From AutoCAD" opened. The caller's write adds the empty line that follows.
std::string tobegin(std::string_view kmlname);

// The decimal text of the 1-based position (in characters, i.e. UTF-8 code points)
// of the last character of `sFilename` equal to the one-character text `temp`;
// "0" when there is none. GetStrP("C:\\a\\b.kml", "\\") is "5".
std::string GetStrP(std::string_view sFilename, std::string_view temp);

// The document name for an output path (UTF-8): the text after the last "/" (or "\"
// on Windows) less its last four characters ("/out/road.kml" gives "road"). A file name of fewer than four
// characters throws Error(kGeneral).
std::string DocumentName(std::string_view path);

// One item of a Placemark's ExtendedData: <Data name="NAME"><value>VALUE</value>.
struct DataField {
  std::string_view name;
  std::string_view value;  // escaped here
};

// How the document lays a Placemark out beyond its name and style: the altitude mode
// of its geometry, and the ExtendedData written just before the geometry (after a
// text's LookAt). The default is the document as it has always been.
inline constexpr std::string_view kRelativeToGround = "relativeToGround";
struct PlacemarkLayout {
  std::string_view altitudeMode = kRelativeToGround;
  std::span<const DataField> data;  // none: no ExtendedData
};

// Every Placemark's first lines: qstab "<Placemark>", an empty line, the name and
// the style reference.
void AppendPlacemarkHead(std::string& out, std::string_view qstab, std::string_view name,
                         std::string_view style);
// The ExtendedData of `layout`, when it has any, indented for a Placemark at qstab.
void AppendExtendedData(std::string& out, std::string_view qstab, const PlacemarkLayout& layout);
// Its last lines after the geometry: an empty line, qstab "</Placemark>" and its
// empty line.
void AppendPlacemarkEnd(std::string& out, std::string_view qstab);

// A Point geometry of a Placemark: the ExtendedData, then the lines up to qstab TAB
// TAB "<coordinates>", and from "</coordinates>" to the end of the Placemark; its one
// point line goes between the two.
void AppendPointOpen(std::string& out, std::string_view qstab,
                     const PlacemarkLayout& layout = {});
void AppendPointClose(std::string& out, std::string_view qstab);

// The LineString Placemark frame: the opening lines from qstab "<Placemark>" to
// qstab TAB TAB "<coordinates>" (the ExtendedData before "<LineString>"), and the
// closing lines from qstab TAB TAB "</coordinates>" to qstab "</Placemark>" and its
// empty line. A converter's point lines go between the two.
void AppendLineStringOpen(std::string& out, std::string_view qstab,
                          std::string_view plinename, std::string_view plinestyle,
                          const PlacemarkLayout& layout = {});
void AppendLineStringClose(std::string& out, std::string_view qstab);

// A Folder of the document: "\t<Folder>", its name (escaped) and "<open>1</open>".
// tobegin() opens the one Folder "From AutoCAD"; folders by layer open one a layer.
void AppendFolderOpen(std::string& out, std::string_view name);

// Lines 1 to 5 of the document, without the Folder tobegin() opens.
std::string DocumentHead(std::string_view kmlname);

// What the run writes after the last Placemark, before the styles (the Folder
// close and the empty line of its write) ...
inline constexpr std::string_view kFolderClose = "\t</Folder>\r\n\r\n";
// ... and after the styles: "</Document>", "</kml>" and one blank, each write
// adding CR LF. The document thus ends with " " CR LF.
inline constexpr std::string_view kDocumentClose =
    "</Document>\r\n\r\n</kml>\r\n\r\n \r\n";

}  // namespace varnolt
