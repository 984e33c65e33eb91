// gpiBlock.cpp: loading, the current block, saving, restoring, releasing,
// and the design check counters of the programming interface.
#include <string>

#include "gpi.h"
#include "ulStr.h"
#include "vqCheck.h"
#include "vqName.h"
#include "vqRead.h"
#include "vqWrite.h"

namespace {

// Longest library component name a load takes; the rest is cut.
constexpr size_t kLoadNameMax = 288;

struct State {
  unsigned checkErrors = 0;   // added up over checks
  unsigned checkWarnings = 0; // added up over checks
};

State &state() {
  static State s;
  return s;
}

// The flags that describe the previous load, cleared before each load.
void clearLoadFlags() {
  q_rcancelled = 0;
  q_canc = 0;
  q_corrupt_display = 0;
  q_bad_data = 0;
}

// Makes the loader's Block current; 1 when it gave one without problems.
int loaded(vqBlock *block, int status) {
  q_set_block(block);
  return status == vqLOAD_OK && block != nullptr ? 1 : 0;
}

} // namespace

// ---- Loading --------------------------------------------------------------------

int vgpiLoadBlock(int kind, const char *library, const char *name, int number, int mode) {
  clearLoadFlags();
  std::string own = name != nullptr ? name : "";
  ulStrLoc(own.data());
  int status = vqLOAD_NOFILE;
  vqBlock *block = vqBlockLoad(kind, library, own.data(), number, mode, &status);
  return loaded(block, status);
}

int vgpiLoad(int kind, const char *libname, int number, int mode) {
  std::string own = libname != nullptr ? libname : "";
  if (own.size() > kLoadNameMax)
    own.resize(kLoadNameMax);
  // The split moves the component name to the front of own and returns the
  // library in a buffer of its own, which the load does not touch.
  const char *library = q_split_lib_comp(own.data());
  return vgpiLoadBlock(kind, library, own.c_str(), number, mode);
}

int gpi_load(const char *libname, int kind, int number) {
  return vgpiLoad(kind, libname, number, vqLOAD_OR_NEW);
}

int gpi_lib_load(const char *library, const char *name, int kind, int number) {
  return vgpiLoadBlock(kind, library, name, number, vqLOAD_OR_NEW);
}

int gpi_load_from_dir(const char *directory, const char *name, int kind, int number) {
  clearLoadFlags();
  std::string own = name != nullptr ? name : "";
  ulStrLoc(own.data());
  int status = vqLOAD_NOFILE;
  vqBlock *block = vqBlockLoadFromDir(kind, directory, own.data(), number, vqLOAD_OR_NEW, &status);
  q_set_block(block);
  return status == vqLOAD_OK ? 1 : 0;
}

// ---- The current block ----------------------------------------------------------

int q_get_block_ptr(vqBlock **block) {
  *block = q_get_block();
  if (*block == nullptr) {
    qErrReport(1017);
    return 0;
  }
  return 1;
}

int gpi_set_block(vqBlock *block) {
  q_set_block(block);
  return 1;
}

vqObject *q_get_object_list() {
  const vqBlock *block = q_get_block();
  return block != nullptr ? block->objects : nullptr;
}

// ---- Saving, restoring, releasing -----------------------------------------------

int gpi_save() {
  vqBlock *block = q_get_block();
  if (block == nullptr || q_write_data(block) == 0)
    return 0;
  // The temporary flag goes first: clearing the changed state may drop the
  // Block's last reference, and its file must then be kept, not deleted.
  block->temporary = 0;
  q_clear_changed_flag(block);
  return 1;
}

int gpi_restore() {
  if (q_get_block() == nullptr)
    return 0;
  // The result is 1 whether or not a backup could be read (a temporary
  // Block has none): the caller asked for the block as it was, and a Block
  // without backup is already that.
  (void)q_restore_block();
  return 1;
}

int gpi_unload() {
  vqBlock *block = q_get_block();
  if (block == nullptr)
    return 0;
  q_set_block(nullptr);
  // A schematic holding exactly two references gives up both.
  if (block->kind == vqBLOCK_SCHEMATIC && block->refCount == 2)
    q_free_block(block);
  q_free_block(block);
  return 1;
}

int gpi_free_syms() {
  const vqBlock *current = q_get_block();
  for (const vqBlock *b = vqBlockListHead(vqBLOCK_SYMBOL); b != nullptr; b = b->next)
    if (b == current)
      q_set_block(nullptr);
  // Releasing a symbol may release others (those it held), so the walk
  // starts again after each release.
  for (bool released = true; released;) {
    released = false;
    for (vqBlock *b = vqBlockListHead(vqBLOCK_SYMBOL); b != nullptr; b = b->next)
      if (b->refCount == 1) {
        q_free_block(b);
        released = true;
        break;
      }
  }
  return 1;
}

int q_clr_undone_original() {
  return 1;
}

// ---- Design check counters ------------------------------------------------------

int gpi_check_init_count() {
  state().checkErrors = 0;
  state().checkWarnings = 0;
  return 1;
}

int gpi_check() {
  vqBlock *block = q_get_block();
  if (block == nullptr)
    return 0;
  q_check_schematic(block);
  return gpi_check_inc_count();
}

int gpi_check_inc_count() {
  unsigned errors = 0;
  unsigned warnings = 0;
  vqCheckLastCounts(&errors, &warnings);
  state().checkErrors += errors;
  state().checkWarnings += warnings;
  return 1;
}

int gpi_check_get_count(unsigned *errors, unsigned *warnings) {
  if (errors != nullptr)
    *errors = state().checkErrors;
  if (warnings != nullptr)
    *warnings = state().checkWarnings;
  return 1;
}
