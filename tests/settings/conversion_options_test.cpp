// The opt-in lines after the tenth read into one value: what each line accepts, the
// one message a line that cannot be used gets, and writing back only what changed.
#include "settings/conversion_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnolt {
namespace {

const std::string kTen = "10\r\n115\r\n100\r\n6\r\n-0.0335\r\n0.039\r\n10\r\n-1\r\n0\r\n0\r\n";

Settings Parsed(const std::string& extraLines) {
  Settings s;
  EXPECT_TRUE(ParseSettings(kTen + extraLines, s)) << extraLines;
  return s;
}

// Two values unlike the defaults and each other in every field.
std::vector<ConversionOptions> Chosen() {
  ConversionOptions a;
  a.include = kIncludeAll | kIncludeFrames;
  a.polygons = a.layerFolders = a.attributes = a.cgcs2000 = a.gcj02 = true;
  a.plainText = a.strict = true;
  a.altitude = Altitude::kAbsolute;
  a.zoneInEastings = true;
  a.method = Method::kHelmert;
  a.helmert = *ParseHelmert("1,2,3,0.1,0.2,0.3,4");
  a.helmert.convention = RotationConvention::kCoordinateFrame;
  a.fit = PlaneSimilarity{10.5, -3, 1.0000012, 0.000003};
  a.fitMeridian = 114.5;
  a.cadProgId = "AutoCAD.Application.24";
  ConversionOptions b;
  b.include = kIncludeBlocks | kIncludeHatches | kIncludeMeshes | kIncludeLeaders;
  b.layerFolders = true;
  b.altitude = Altitude::kClamp;
  b.zoneInEastings = true;
  b.requiredZone = 38;
  b.method = Method::kFourParameter;
  b.fit = PlaneSimilarity{};
  return {a, b};
}

TEST(ConversionOptions, ChoicesRoundTripThroughTheFileAndDefaultsWriteNothing) {
  Settings s = Parsed("future=x\r\n");
  StoreConversionOptions(ConversionOptions{}, s);
  EXPECT_EQ(SettingsFileText(s), kTen + "future=x\r\n");
  EXPECT_EQ(ReadConversionOptions(s), ConversionOptions{});
  for (const ConversionOptions& o : Chosen()) {
    Settings t = s;
    StoreConversionOptions(o, t);
    Settings loaded;
    ASSERT_TRUE(ParseSettings(SettingsFileText(t), loaded));
    EXPECT_EQ(ReadConversionOptions(loaded), o) << SettingsFileText(t);
    EXPECT_EQ(loaded.Extra("future"), "x");
    // Back to the defaults: the unknown line alone is left.
    StoreConversionOptions(ConversionOptions{}, loaded);
    EXPECT_EQ(SettingsFileText(loaded), kTen + "future=x\r\n");
  }
}

// Every form a line takes, in any case, read as an independent expectation.
TEST(ConversionOptions, WordsInAnyCase) {
  const ConversionOptions o = ReadConversionOptions(Parsed(
      "include= Blocks , POINTS\r\npolygons=TRUE\r\nfolders=Layer\r\nattributes=1\r\n"
      "altitude=Clamp\r\ndatum=CGCS2000\r\nzone=AUTO\r\nhelmert_convention=Coordinate-Frame\r\n"
      "helmert=1,2,3,4,5,6,7\r\noutput_datum=GCJ02\r\ncad_progid=ZWCAD.Application\r\n"));
  EXPECT_EQ(o.include, kIncludeBlocks | kIncludePoints);
  EXPECT_TRUE(o.polygons && o.layerFolders && o.attributes && o.cgcs2000 && o.gcj02);
  EXPECT_EQ(o.altitude, Altitude::kClamp);
  EXPECT_TRUE(o.zoneInEastings);
  EXPECT_EQ(o.requiredZone, 0);
  EXPECT_EQ(o.method, Method::kHelmert);
  EXPECT_EQ(o.helmert.ppm, 7);
  EXPECT_EQ(o.helmert.convention, RotationConvention::kCoordinateFrame);
  EXPECT_EQ(o.cadProgId, "ZWCAD.Application");
  const ConversionOptions off = ReadConversionOptions(Parsed(
      "polygons=no\r\nattributes=False\r\nfolders=SINGLE\r\naltitude=relative\r\n"
      "include=none\r\noutput_datum=wgs84\r\nhelmert_convention=position-vector\r\n"));
  EXPECT_EQ(off, ConversionOptions{});
  EXPECT_EQ(DatumOfSettings(Parsed("datum=cgcs2000\r\n")), Datum::kCgcs2000);
  EXPECT_EQ(DatumOfSettings(Parsed("")), Datum::kBeijing1954);
}

// A line that cannot be used: the first one throws, naming the line and the value at
// fault; read for a window, it reads as its default beside the others, with the same
// message.
TEST(ConversionOptions, AnUnusableLineGetsOneMessageNamingItAndTheValue) {
  const struct {
    std::string line, fault;
  } kBad[] = {
      {"include=blocks,trees", "\"trees\""},       {"polygons=maybe", "\"maybe\""},
      {"folders=tree", "\"tree\""},                {"attributes=2", "\"2\""},
      {"altitude=sky", "\"sky\""},                 {"datum=wgs84", "\"wgs84\""},
      {"zone=24", "\"24\""},                       {"zone=38.5", "\"38.5\""},
      {"transform=affine", "\"affine\""},          {"four_parameter=1,2,3", "\"1,2,3\""},
      {"four_parameter_meridian=east", "\"east\""}, {"helmert=1,2,3", "\"1,2,3\""},
      {"helmert_convention=left", "\"left\""},     {"output_datum=bd09", "\"bd09\""},
      {"cad_progid=Auto CAD", "\"Auto CAD\""},    {"cad_progid=24.AutoCAD", "\"24.AutoCAD\""},
  };
  for (const auto& bad : kBad) {
    SCOPED_TRACE(bad.line);
    const Settings s = Parsed("attributes=yes\r\n" + bad.line + "\r\n");
    std::string thrown;
    try {
      ReadConversionOptions(s);
    } catch (const SettingError& e) {
      thrown = e.what();
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    }
    EXPECT_EQ(thrown.rfind("the setting " + bad.line + ": " + bad.fault + " is not ", 0), 0u)
        << thrown;
    std::vector<std::string> problems;
    ConversionOptions expected;
    expected.attributes = bad.line != "attributes=2";
    EXPECT_EQ(ReadConversionOptions(s, problems), expected);
    EXPECT_EQ(problems, std::vector<std::string>{thrown});
  }
  EXPECT_THROW(DatumOfSettings(Parsed("datum=wgs84\r\n")), SettingError);
  // Two methods at once are refused too.
  EXPECT_THROW(ReadConversionOptions(
                   Parsed("transform=four-parameter\r\nhelmert=1,2,3,4,5,6,7\r\n")),
               SettingError);
}

// Writing back what a window read changes no byte, however the lines were spelt and
// whether or not they can be used; a changed option rewrites its own line alone.
TEST(ConversionOptions, StoringRewritesOnlyTheLinesOfChangedOptions) {
  const std::string lines =
      "polygons=1\r\nzone=99\r\ninclude=Points , blocks\r\nfuture=x\r\n"
      "transform=four-parameter\r\nhelmert=1,2,3,4,5,6,7\r\naltitude=CLAMP\r\n";
  const Settings file = Parsed(lines);
  std::vector<std::string> problems;
  ConversionOptions o = ReadConversionOptions(file, problems);
  EXPECT_EQ(problems.size(), 2u);  // zone=99, and the two methods
  Settings s = file;
  StoreConversionOptions(o, s);
  EXPECT_EQ(SettingsFileText(s), kTen + lines);
  o.attributes = true;
  o.altitude = Altitude::kRelative;
  o.method = Method::kFourParameter;
  StoreConversionOptions(o, s);
  EXPECT_EQ(SettingsFileText(s),
            kTen + "polygons=1\r\nzone=99\r\ninclude=Points , blocks\r\nfuture=x\r\n"
                   "transform=four-parameter\r\nattributes=yes\r\n");
}

}  // namespace
}  // namespace varnolt
