#include "kml/document.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "base/error.h"
#include "base/paths.h"
#include "base/platform.h"
#include "text/encoding.h"

namespace varnolt {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// A byte that starts a character: anything but a UTF-8 continuation byte. Counting
// these counts characters in UTF-8 and stays defined for stray bytes of a path.
bool StartsCharacter(unsigned char byte) { return (byte & 0xC0) != 0x80; }

// Byte offset where character k (0-based) starts; the text's size when it has no
// more than k characters.
size_t ByteOffsetOfCharacter(std::string_view text, size_t k) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(static_cast<unsigned char>(text[i])) && seen++ == k) return i;
  }
  return text.size();
}

}  // namespace

void AppendXmlText(std::string& out, std::string_view text) {
  const std::string clean = SanitizeUtf8(text);
  const size_t n = clean.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(clean[i]);
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '\t': case '\n': case '\r': out += static_cast<char>(c); continue;
      default: break;
    }
    if (c < 0x20) continue;  // XML 1.0 has no way to carry these
    // U+FFFE and U+FFFF are not XML characters either.
    if (c == 0xEF && i + 2 < n && static_cast<unsigned char>(clean[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(clean[i + 2]) & 0xFE) == 0xBE) {
      i += 2;
      continue;
    }
    out += static_cast<char>(c);
  }
}

std::string XmlText(std::string_view text) {
  std::string out;
  AppendXmlText(out, text);
  return out;
}

std::string DocumentHead(std::string_view kmlname) {
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  out += "<kml xmlns=\"";
  out += kKmlNamespace;
  out += "\">\r\n";
  out += "<Document>\r\n";
  out += kCrLf;
  out += "\t<name>";
  AppendXmlText(out, kmlname);
  out += "</name>\r\n";
  return out;
}

void AppendFolderOpen(std::string& out, std::string_view name) {
  out += "\t<Folder>\r\n\t\t<name>";
  AppendXmlText(out, name);
  out += "</name>\r\n\t\t<open>1</open>\r\n";
}

std::string tobegin(std::string_view kmlname) {
  std::string out = DocumentHead(kmlname);
  AppendFolderOpen(out, "From AutoCAD");
  return out;
}

std::string GetStrP(std::string_view sFilename, std::string_view temp) {
  size_t position = 0;  // characters seen so far
  size_t last = 0;
  if (!temp.empty()) {
    for (size_t i = 0; i < sFilename.size(); ++i) {
      if (!StartsCharacter(static_cast<unsigned char>(sFilename[i]))) continue;
      ++position;
      if (sFilename.substr(i, temp.size()) == temp) last = position;
    }
  }
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, last);
  return std::string(buf, res.ptr);
}

std::string DocumentName(std::string_view path) {
  // The run's own rule: the name begins after the last separator (on Windows "\"
  // or "/", whichever comes last) ...
  auto last = [&](std::string_view separator) {
    size_t p = 0;
    const std::string pos = GetStrP(path, separator);
    std::from_chars(pos.data(), pos.data() + pos.size(), p);
    return p;
  };
  size_t p = last("/");
  if (IsPathSeparator('\\')) p = std::max(p, last("\\"));
  const std::string_view file = path.substr(ByteOffsetOfCharacter(path, p));
  // ... and drops the last four characters, the ".kml".
  std::vector<size_t> starts;
  for (size_t i = 0; i < file.size(); ++i) {
    if (StartsCharacter(static_cast<unsigned char>(file[i]))) starts.push_back(i);
  }
  if (starts.size() < 4) {
    throw Error(ErrorKind::kGeneral,
                "the output file name '" + SanitizeUtf8(file) +
                    "' is too short: the document is named after it less its last four "
                    "characters (the extension, such as \".kml\"), so it needs at least "
                    "four characters");
  }
  return std::string(file.substr(0, starts[starts.size() - 4]));
}

void AppendPlacemarkHead(std::string& out, std::string_view qstab, std::string_view name,
                         std::string_view style) {
  out += qstab; out += "<Placemark>\r\n";
  out += kCrLf;
  out += qstab; out += "\t<name>"; AppendXmlText(out, name); out += "</name>\r\n";
  out += qstab; out += "\t<styleUrl>"; out += style; out += "</styleUrl>\r\n";
}

void AppendExtendedData(std::string& out, std::string_view qstab, const PlacemarkLayout& layout) {
  if (layout.data.empty()) return;
  out += qstab; out += "\t<ExtendedData>\r\n";
  for (const DataField& field : layout.data) {
    out += qstab; out += "\t\t<Data name=\""; out += field.name; out += "\"><value>";
    AppendXmlText(out, field.value);
    out += "</value></Data>\r\n";
  }
  out += qstab; out += "\t</ExtendedData>\r\n";
}

void AppendPlacemarkEnd(std::string& out, std::string_view qstab) {
  out += kCrLf;
  out += qstab; out += "</Placemark>\r\n";
  out += kCrLf;
}

void AppendPointOpen(std::string& out, std::string_view qstab, const PlacemarkLayout& layout) {
  AppendExtendedData(out, qstab, layout);
  out += qstab; out += "\t<Point>\r\n";
  out += qstab; out += "\t\t<altitudeMode>"; out += layout.altitudeMode; out += "</altitudeMode>\r\n";
  out += qstab; out += "\t\t<coordinates>\r\n";
}

void AppendPointClose(std::string& out, std::string_view qstab) {
  out += qstab; out += "\t\t</coordinates>\r\n";
  out += qstab; out += "\t</Point>\r\n";
  AppendPlacemarkEnd(out, qstab);
}

void AppendLineStringOpen(std::string& out, std::string_view qstab,
                          std::string_view plinename, std::string_view plinestyle,
                          const PlacemarkLayout& layout) {
  AppendPlacemarkHead(out, qstab, plinename, plinestyle);
  AppendExtendedData(out, qstab, layout);
  out += qstab; out += "\t<LineString>\r\n";
  out += qstab; out += "\t\t<tessellate>1</tessellate>\r\n";
  out += qstab; out += "\t\t<altitudeMode>"; out += layout.altitudeMode; out += "</altitudeMode>\r\n";
  out += qstab; out += "\t\t<coordinates>\r\n";
}

void AppendLineStringClose(std::string& out, std::string_view qstab) {
  out += qstab; out += "\t\t</coordinates>\r\n";
  out += qstab; out += "\t</LineString>\r\n";
  AppendPlacemarkEnd(out, qstab);
}

}  // namespace varnolt
