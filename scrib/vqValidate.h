// vqValidate.h: the value ranges of the block file format.
//
// Every value that the block file reader (vqRead.h) takes from a record is
// checked by one of these predicates before it is stored. They hold the
// ranges and nothing else: no side effects, no messages (the reader raises
// the message that belongs to the field). Each returns 1 when the value is
// accepted and 0 otherwise.
//
// There are no Kanji fonts in this system, so vqValidateKanji accepts every
// character code.
#pragma once

// 38 to 51 (51 marks a schematic with rippers, 50 is the plain version).
int vqValidateVersion(int version);
// -32767 to 32767.
int vqValidateCoordinate(int value);
// 0, 1, 3 or 4.
int vqValidateBlockType(int type);
// 0 to 10.
int vqValidateSheetSize(int size);
// 0 to 15.
int vqValidateColor(int color);
// 0 to 31.
int vqValidateFillStyle(int style);
// Kind 2 (text) with font 0 to 11; kinds 6 (attribute), 8 (label) and 10
// (occurrence attribute) with font 0 to 10; any other kind 0.
int vqValidateFont(int kind, int font);
// 0 to 7.
int vqValidateLineStyle(int style);
// 0 to 32766.
int vqValidateRadius(int radius);
// 0 to 7.
int vqValidateOrientation(int orientation);
// 1 to 9.
int vqValidateOrigin(int origin);
// 0 to 3.
int vqValidateVisibility(int visibility);
// 0 or 1.
int vqValidateScope(int scope);
// 0 or 1.
int vqValidateSense(int sense);
// id at least 1 and not above last.
int vqValidateID(long last, long id);
// last at least 1 and not below id.
int vqValidateLastID(long last, long id);
// 0 to 4.
int vqValidateSide(int side);
// 0 to 11.
int vqValidateJointType(int type);
// 1 to 999.
int vqValidateSheetNumber(int number);
// Above 0.0 (a NaN is not).
int vqValidateScale(double scale);
// 0 or more.
int vqValidateSize(int size);
// joints at least 2, segments at least 1, and joints equal to segments + 1.
int vqValidateNumJointsAndSegments(int joints, int segments);
// Whether the stroke-font layer accepts code as Kanji: every code here.
int vqValidateKanji(int code);
