// vqLoad.cpp: the block loader (a Block found among the loaded ones, or
// read from its block file), and reading the current Block again from its
// file or its backup.
#include <string>
#include <vector>

#include "sbMsg.h"
#include "vqName.h"
#include "vqReadInternal.h"
#include "vqp.h"

namespace {

// Where a load looks: a library alias, or one library directory.
struct Where {
  int kind;
  const char *library; // never null
  LibraryDirId dir;    // 0: by library
};

BlockFileId openFile(const Where &w, const char *name, int number, int mode, int *status) {
  *status = 0;
  if (w.dir != 0)
    return vqpFileOpenD(w.kind, w.dir, name, number, mode, status);
  return vqpFileOpen(w.kind, w.library, name, number, mode, status);
}

vqBlock *findLoaded(const Where &w, const char *name, int number) {
  if (w.dir == 0)
    return vqBlockListFind(w.kind, w.library, name, number);
  for (vqBlock *b = vqBlockListHead(w.kind); b != nullptr; b = b->next)
    if (b->number == number && ulStrEqu(b->name, name) && b->file != 0 &&
        vqpFileIDGetDirID(b->file) == w.dir)
      return b;
  return nullptr;
}

// The loaded Block whose block file is file, or null.
vqBlock *blockOfFile(BlockFileId file) {
  for (int kind = 0; kind < vqBLOCK_KINDS; ++kind)
    for (vqBlock *b = vqBlockListHead(kind); b != nullptr; b = b->next)
      if (b->file == file)
        return b;
  return nullptr;
}

// A new Block named as loaded; its library is the given one, or, when none
// is given and there is a file, the file's (noted as taken from the file).
vqBlock *newBlock(const Where &w, const char *name, int number, BlockFileId file) {
  vqBlock *b = q_alloc_block(w.kind);
  b->name = ulStrCpy(name);
  b->number = number;
  b->file = file;
  if (w.library[0] == '\0' && file != 0) {
    b->library = ulStrCpy(vqpFileIDGetLibrary(file));
    b->libFromFile = 1;
  } else {
    b->library = ulStrCpy(w.library);
  }
  return b;
}

// Opens the block file as the loader's open-result table says. Returns the
// file (0 for none) and sets *status; *other is the Block that already has
// the file open (status 2).
BlockFileId openForLoad(const Where &w, const char *name, int number, int mode, int *status,
                        vqBlock **other) {
  bool readOnly = vqGetBlockReadOnly() || (mode >= 0 && mode <= vqLOAD_EXISTING);
  int openMode = readOnly ? vqpFILE_READ : vqpFILE_READ | vqpFILE_LOCK;
  int st = 0;
  BlockFileId file = openFile(w, name, number, openMode, &st);
  if (file != 0 && st == 0) {
    *status = vqpDirWritable(vqpFileIDGetDirID(file)) ? vqLOAD_OK : vqLOAD_READONLY;
    return file;
  }
  if (st == 53) {
    *other = file != 0 ? blockOfFile(file) : nullptr;
    *status = *other != nullptr ? vqLOAD_OPEN_OTHER : vqLOAD_FILE_ERROR + st;
    return 0;
  }
  if (st == 13) {
    *status = vqLOAD_NOFILE;
    return 0;
  }
  int fallback = vqLOAD_READONLY;
  if (st == 18) {
    file = w.dir != 0
               ? vqpFileReclaimOrphanLockD(w.kind, w.dir, name, number, openMode, 0, nullptr)
               : vqpFileReclaimOrphanLock(w.kind, w.library, name, number, openMode, 0, nullptr);
    if (file != 0) {
      *status = vqLOAD_OK;
      return file;
    }
    fallback = vqLOAD_LOCKED;
  }
  file = openFile(w, name, number, vqpFILE_READ, &st);
  *status = file != 0 && st == 0 ? fallback : vqLOAD_FILE_ERROR + st;
  return file != 0 && st == 0 ? file : 0;
}

// Step 5 of a load: no block file.
vqBlock *loadWithoutFile(const Where &w, const char *name, int number, int mode, int *status) {
  if (mode == vqLOAD_EXISTING)
    return nullptr;
  if (mode == vqLOAD_OR_NEW) {
    // The file object only: the file itself is made at the first save.
    int st = 0;
    BlockFileId id = w.dir != 0 ? vqpFileOpenD(w.kind, w.dir, name, number, vqpFILE_ID, &st)
                                : vqpFileGetID(w.kind, w.library, name, number);
    if (id == 0) {
      *status = vqLOAD_NOCREATE;
      return nullptr;
    }
    vqBlock *b = newBlock(w, name, number, id);
    b->temporary = 1;
    vqBlockListAdd(b);
    return b;
  }
  vqBlock *b = newBlock(w, name, number, 0);
  b->readOnly = 1;
  *status = vqLOAD_OK;
  return b;
}

vqBlock *load(const Where &w, char *name, int number, int mode, int *statusOut) {
  int dummy;
  int &status = statusOut != nullptr ? *statusOut : dummy;
  status = vqLOAD_OK;
  ulStrLoc(name);
  if (vqBlock *found = findLoaded(w, name, number))
    return q_copy_block(found);
  if (vqread::readState().loadNotes)
    qPutMsg(1235, w.kind == vqBLOCK_SYMBOL ? "symbol" : "schematic",
            vqBuildBlockName(w.library, name, number));
  vqBlock *other = nullptr;
  BlockFileId file = openForLoad(w, name, number, mode, &status, &other);
  if (other != nullptr)
    return q_copy_block(other);
  if (file == 0)
    return status == vqLOAD_NOFILE ? loadWithoutFile(w, name, number, mode, &status) : nullptr;

  vqBlock *b = newBlock(w, name, number, file);
  vqBlockListAdd(b);
  if (status != vqLOAD_OK || vqGetBlockReadOnly())
    b->readOnly = 1;
  int read = vqBlockReadFile(b, file);
  vqBlockSuspend(b);
  if (!read) {
    sbErrReport(2209, q_libcomp_name(b));
    status = vqLOAD_NOFILE;
    if (mode == vqLOAD_EXISTING) {
      q_free_block(b);
      return nullptr;
    }
  }
  return b;
}

} // namespace

vqBlock *vqBlockLoad(int kind, const char *library, char *name, int number, int mode, int *status) {
  return load({kind, library != nullptr ? library : "", 0}, name, number, mode, status);
}

vqBlock *vqBlockLoadFromDir(int kind, const char *directory, char *name, int number, int mode,
                            int *status) {
  LibraryDirId dir = vqpPathGetDir(directory);
  if (dir == 0) {
    if (status != nullptr)
      *status = vqLOAD_FILE_ERROR + 63;
    return nullptr;
  }
  return load({kind, "", dir}, name, number, mode, status);
}

// ---- Reading the current Block again -----------------------------------------------------------

namespace {

// The instances of loaded schematics that use symbol, taken off it while its
// objects are replaced (their references stay).
std::vector<vqComp *> detachUsers(vqBlock *symbol) {
  std::vector<vqComp *> users;
  for (vqBlock *s = vqBlockListHead(vqBLOCK_SCHEMATIC); s != nullptr; s = s->next)
    for (vqObject *o = s->objects; o != nullptr; o = o->next)
      if (o->kind == vqKIND_COMPONENT && static_cast<vqComp *>(o)->symbol == symbol) {
        static_cast<vqComp *>(o)->symbol = nullptr;
        users.push_back(static_cast<vqComp *>(o));
      }
  return users;
}

// Drops the Block's objects and unsaved changes and reads stream into it.
void reread(vqBlock *b, FILE *stream) {
  std::vector<vqComp *> users;
  if (b->kind == vqBLOCK_SYMBOL)
    users = detachUsers(b);
  else if (b->linked != nullptr) {
    vqBlock *linked = b->linked;
    b->linked = nullptr;
    q_free_block(linked);
  }
  q_clear_changed_flag(b);
  q_free_data(b);
  b->lastId = 0;
  b->lastJointId = 0;
  b->lastSegmentId = 0;
  vqBlockReadStream(b, stream);
  for (vqComp *comp : users) {
    comp->symbol = b;
    vqread::compBoundingBox(comp);
  }
}

} // namespace

int q_read_block() {
  vqBlock *b = q_get_block();
  if (b == nullptr || b->file == 0 || vqBlockReopen(b, 1) != 1)
    return 0;
  q_copy_block(b); // held while the changed state's reference goes
  reread(b, vqpFileStream(b->file));
  vqBlockSuspend(b);
  q_free_block(b);
  return 1;
}

int q_restore_block() {
  vqBlock *b = q_get_block();
  if (b == nullptr || b->temporary || b->file == 0)
    return 0;
  int st = 0;
  BlockFileId backup =
      vqpFileBackupOpen(b->file, b->kind, vqpBACKUP, b->name, b->number, vqpFILE_READ, &st);
  if (backup == 0)
    return 0;
  q_copy_block(b);
  reread(b, vqpFileStream(backup));
  vqpFileClose(backup, 0);
  q_set_changed_flag(b);
  q_free_block(b);
  return 1;
}
