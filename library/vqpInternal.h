// vqpInternal.h: what the files of the block file access layer share.
#pragma once

#include "vqp.h"

// Bytes of a version text: a decimal int, "pin" or "oat".
inline constexpr int vqpiVERSION_SIZE = 16;

// The class that stands for a block of kind (0 for a kind the table lacks).
int vqpiClassOfKind(int kind);

// The version text of kind and version into text (vqpiVERSION_SIZE bytes):
// "pin" for kind 4, "oat" for kind 5, else the number in decimal. Returns
// text.
const char *vqpiVersionText(int kind, int version, char *text);

// Builds the reference of a block into ref (vfpREF_SIZE bytes). 0; 49 for a
// kind outside 0, 1, 3, 4, 5; 44 for a null name; else vfpBuildObjRef's
// status (43 for a reference over 255 characters). A null alias is empty.
int vqpiBuildRef(char *ref, int kind, const char *alias, const char *name, int version);
