// vqBlockInternal.h: what the files of the block model share behind
// vqBlock.h.
#pragma once

#include "vqBlock.h"
#include "vqName.h"

// At the release of block: remembers its library:component name as the name
// of the Block released last, and stops it being the current Block.
void vqBlockNoteReleased(const vqBlock *block);
