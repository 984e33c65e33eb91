// qlmInternal.h: what the library manager shares with the initialisation
// file reader and nobody else uses.
#pragma once

#include <string>

// The braced qualifier field of a directory line's rest (the text after its
// keyword), braces included and as written, for instance "{ q1 }". A record
// does not keep it, so a line written back from a record takes it from here.
// "" when the line gives none or its text would be refused.
std::string qlmiQualifierField(const char *rest);
