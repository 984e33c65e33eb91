// vqValidate.cpp: the value ranges of the block file format.
#include "vqValidate.h"

#include "vqBlock.h"

namespace {

constexpr int kCoordinateMax = 32767;
constexpr int kRadiusMax = 32766;
constexpr int kTextFontMax = 11;  // texts have one font more: the Kanji font
constexpr int kOtherFontMax = 10; // attributes, labels, occurrence attributes

constexpr int within(long value, long low, long high) {
  return value >= low && value <= high ? 1 : 0;
}

} // namespace

int vqValidateVersion(int version) {
  return within(version, 38, vqRIPPER_VERSION);
}

int vqValidateCoordinate(int value) {
  return within(value, -kCoordinateMax, kCoordinateMax);
}

int vqValidateBlockType(int type) {
  return type == 0 || type == 1 || type == 3 || type == 4 ? 1 : 0;
}

int vqValidateSheetSize(int size) {
  return within(size, 0, 10);
}

int vqValidateColor(int color) {
  return within(color, 0, 15);
}

int vqValidateFillStyle(int style) {
  return within(style, 0, 31);
}

int vqValidateFont(int kind, int font) {
  switch (kind) {
  case vqKIND_TEXT:
    return within(font, 0, kTextFontMax);
  case vqKIND_ATTRIBUTE:
  case vqKIND_LABEL:
  case vqKIND_OATTRIBUTE:
    return within(font, 0, kOtherFontMax);
  default:
    return 0;
  }
}

int vqValidateLineStyle(int style) {
  return within(style, 0, 7);
}

int vqValidateRadius(int radius) {
  return within(radius, 0, kRadiusMax);
}

int vqValidateOrientation(int orientation) {
  return within(orientation, 0, 7);
}

int vqValidateOrigin(int origin) {
  return within(origin, 1, 9);
}

int vqValidateVisibility(int visibility) {
  return within(visibility, 0, 3);
}

int vqValidateScope(int scope) {
  return within(scope, 0, 1);
}

int vqValidateSense(int sense) {
  return within(sense, 0, 1);
}

int vqValidateID(long last, long id) {
  return id >= 1 && id <= last ? 1 : 0;
}

int vqValidateLastID(long last, long id) {
  return last >= 1 && last >= id ? 1 : 0;
}

int vqValidateSide(int side) {
  return within(side, 0, 4);
}

int vqValidateJointType(int type) {
  return within(type, 0, 11);
}

int vqValidateSheetNumber(int number) {
  return within(number, 1, 999);
}

int vqValidateScale(double scale) {
  return scale > 0.0 ? 1 : 0;
}

int vqValidateSize(int size) {
  return size >= 0 ? 1 : 0;
}

int vqValidateNumJointsAndSegments(int joints, int segments) {
  return joints >= 2 && segments >= 1 && joints == segments + 1 ? 1 : 0;
}

int vqValidateKanji(int /*code*/) {
  return 1;
}
