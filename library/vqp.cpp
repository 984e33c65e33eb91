// vqp.cpp: library directories and block file access: the kind table,
// version texts, references, the opens and probes, backups, copies and the
// object loop, mapped onto the project database's file objects.
#include "vqp.h"

#include <cstdio>
#include <cstring>

#include "qInit.h"
#include "ulStr.h"
#include "vfpFile.h"
#include "vqpInternal.h"

namespace {

// What a block file's kind stands for: the class of the block itself, of
// its backup and of its save copy.
struct KindRow {
  int kind;
  int role; // 0 the block, 1 its backup, 2 its save copy
  const int *cls;
};

enum Role { kBlock = 0, kBackup = 1, kSave = 2 };

// In the order a lookup by class scans them.
const KindRow kKinds[] = {
    {vqpKIND_SCHEMATIC, kBlock, &vfpClassSCH_PAGE},
    {vqpKIND_SCHEMATIC, kBackup, &vfpClassSCH_PAGE_BAC},
    {vqpKIND_SCHEMATIC, kSave, &vfpClassSCH_PAGE_SAV},
    {vqpKIND_SYMBOL, kBlock, &vfpClassSYMBOL},
    {vqpKIND_SYMBOL, kBackup, &vfpClassSYMBOL_BAC},
    {vqpKIND_SYMBOL, kSave, &vfpClassSYMBOL_SAV},
    {vqpKIND_WIRELIST, kBlock, &vfpClassWIRELIST},
    {vqpKIND_PIN, kBlock, &vfpClassPIN},
    {vqpKIND_OAT, kBlock, &vfpClassOAT},
    {vqpKIND_DATADES, kBlock, &vfpClassDATADES},
};

// The class of kind in role, 0 when the table has none.
int classOf(int kind, int role) {
  for (const KindRow &r : kKinds)
    if (r.kind == kind && r.role == role)
      return *r.cls;
  return 0;
}

void setStatus(int *status, int value) {
  if (status != nullptr)
    *status = value;
}

// Closes flags of the block layer: a write in progress is committed and
// synced, or discarded.
constexpr int kCommit = vfpCLOSE_COMMIT | vfpCLOSE_SYNC;
constexpr int kDiscard = vfpCLOSE_DISCARD | vfpCLOSE_SYNC;

// The file object of a companion or copy in the directory of file.
BlockFileId openBeside(BlockFileId file, int cls, const char *name, const char *version, int mode,
                       int *status) {
  if (cls == 0) {
    setStatus(status, vfpINVALID_PARAM);
    return 0;
  }
  const LibraryDirId dir = vfpObjGetDir(file);
  if (dir == 0) {
    setStatus(status, vfpINVALID_OBJID);
    return 0;
  }
  return vfpOpenObjectIn(dir, cls, name, version, mode, status);
}

// Opens in mode 1 as a probe and closes the probe again unless the object
// was open already. 1 if the open succeeded.
int probe(BlockFileId file, int status) {
  if (file == 0)
    return 0;
  if (status != vfpALREADY_OPEN)
    vfpCloseObject(file, vfpCLOSE_COMMIT);
  return 1;
}

} // namespace

// ---- The kind table, versions, references ----------------------------------------------

int vqpiClassOfKind(int kind) {
  return classOf(kind, kBlock);
}

const char *vqpiVersionText(int kind, int version, char *text) {
  if (kind == vqpKIND_PIN)
    return std::strcpy(text, "pin");
  if (kind == vqpKIND_OAT)
    return std::strcpy(text, "oat");
  std::snprintf(text, vqpiVERSION_SIZE, "%d", version);
  return text;
}

int vqpiBuildRef(char *ref, int kind, const char *alias, const char *name, int version) {
  *ref = '\0';
  if (kind != vqpKIND_SCHEMATIC && kind != vqpKIND_SYMBOL && kind != vqpKIND_WIRELIST &&
      kind != vqpKIND_PIN && kind != vqpKIND_OAT)
    return vfpINVALID_CLASS;
  if (name == nullptr)
    return vfpNULL_REF;
  char text[vqpiVERSION_SIZE];
  return vfpBuildObjRef(ref, classOf(kind, kBlock), alias == nullptr ? "" : alias, name,
                        vqpiVersionText(kind, version, text));
}

// ---- Opening ---------------------------------------------------------------------------

BlockFileId vqpFileOpen(int kind, const char *alias, const char *name, int version, int mode,
                        int *status) {
  char ref[vfpREF_SIZE];
  if (const int st = vqpiBuildRef(ref, kind, alias, name, version); st != vfpOK) {
    setStatus(status, st);
    return 0;
  }
  return vfpOpenObject(ref, mode, status);
}

BlockFileId vqpFileOpenD(int kind, LibraryDirId dir, const char *name, int version, int mode,
                         int *status) {
  char text[vqpiVERSION_SIZE];
  return vqpFileOpenDx(kind, dir, name, vqpiVersionText(kind, version, text), mode, status);
}

BlockFileId vqpFileOpenDx(int kind, LibraryDirId dir, const char *name, const char *version,
                          int mode, int *status) {
  const int cls = classOf(kind, kBlock);
  if (cls == 0) {
    setStatus(status, vfpINVALID_CLASS);
    return 0;
  }
  return vfpOpenObjectIn(dir, cls, name, version, mode, status);
}

BlockFileId vqpFileOpenR(const char *reference, int mode, int *status) {
  return vfpOpenObject(reference, mode, status);
}

BlockFileId vqpFileGetID(int kind, const char *alias, const char *name, int version) {
  return vqpFileOpen(kind, alias, name, version, vqpFILE_ID, nullptr);
}

BlockFileId vqpFileBackupOpen(BlockFileId file, int kind, int which, const char *name, int version,
                              int mode, int *status) {
  const int role = which == vqpBACKUP ? kBackup : which == vqpSAVE ? kSave : -1;
  char text[vqpiVERSION_SIZE];
  return openBeside(file, role < 0 ? 0 : classOf(kind, role), name,
                    vqpiVersionText(kind, version, text), mode, status);
}

BlockFileId vqpFileAuxOpen(BlockFileId file, int kind, const char *name, int version, int mode,
                           int *status) {
  const bool companion = kind == vqpKIND_SCHEMATIC || kind == vqpKIND_SYMBOL ||
                         kind == vqpKIND_WIRELIST || kind == vqpKIND_PIN || kind == vqpKIND_OAT;
  char text[vqpiVERSION_SIZE];
  return openBeside(file, companion ? classOf(kind, kBlock) : 0, name,
                    vqpiVersionText(kind, version, text), mode, status);
}

// ---- Probes ----------------------------------------------------------------------------

int vqpFileExists(int kind, const char *alias, const char *name, int version) {
  char ref[vfpREF_SIZE];
  return vqpiBuildRef(ref, kind, alias, name, version) == vfpOK && vqpFileExistsR(ref);
}

int vqpFileExistsR(const char *reference) {
  return vfpObjExists(reference) == vfpOK ? 1 : 0;
}

int vqpFileExistsD(int kind, LibraryDirId dir, const char *name, int version) {
  int status = 0;
  const BlockFileId file = vqpFileOpenD(kind, dir, name, version, vqpFILE_READ, &status);
  return probe(file, status);
}

int vqpFileBackupExists(BlockFileId file, int kind, int which, const char *name, int version) {
  int status = 0;
  const BlockFileId copy =
      vqpFileBackupOpen(file, kind, which, name, version, vqpFILE_READ, &status);
  return probe(copy, status);
}

int vqpFileAuxExists(BlockFileId file, int kind, const char *name, int version) {
  int status = 0;
  const BlockFileId aux = vqpFileAuxOpen(file, kind, name, version, vqpFILE_READ, &status);
  return probe(aux, status);
}

// ---- The file of an open block ---------------------------------------------------------

FILE *vqpFileStream(BlockFileId file) {
  return vfpObjStream(file);
}

int vqpFileClose(BlockFileId file, int flag) {
  return vfpCloseObject(file, flag != 0 ? kDiscard : kCommit) == vfpOK ? 1 : 0;
}

int vqpFileReopen(BlockFileId file, int mode) {
  return file != 0 && vfpObjReopen(file, mode, kCommit) == vfpOK ? 1 : 0;
}

int vqpFileSuspend(BlockFileId file, int mode) {
  return file != 0 && vfpObjReopen(file, mode, kCommit) == vfpOK ? 1 : 0;
}

int vqpFileDelete(BlockFileId file) {
  return vfpDeleteObject(file) == vfpOK ? 1 : 0;
}

int vqpFileCreateBackup(BlockFileId file, int kind) {
  const int backup =
      kind == vqpKIND_SCHEMATIC || kind == vqpKIND_SYMBOL ? classOf(kind, kBackup) : 0;
  if (backup == 0)
    return 0;
  if (!vqpFileReopen(file, vqpFILE_READ))
    return 1; // no file yet: nothing to back up
  // The backup goes beside the file, whose synced save follows: that
  // directory sync makes the backup's name durable too.
  const LibraryDirId dir = vfpObjGetDir(file);
  return dir != 0 && vfpCopyObject(file, dir, backup, vfpCOPY_REPLACE | vfpCOPY_SYNC_DATA) == vfpOK
             ? 1
             : 0;
}

int vqpFileSave(BlockFileId file, int kind, int backup, const char *content, size_t length,
                int *written) {
  const int backupCls = backup != 0 && (kind == vqpKIND_SCHEMATIC || kind == vqpKIND_SYMBOL)
                            ? classOf(kind, kBackup)
                            : 0;
  vfpSaveResult result{};
  const int st = vfpObjSave(file, backupCls, content, length, &result);
  if (written != nullptr)
    *written = result.written;
  return st == vfpOK ? 1 : 0;
}

int vqpFileCopy(BlockFileId file, LibraryDirId dest, int option1, int option2) {
  (void)option2;
  int cls = 0;
  for (const KindRow &r : kKinds)
    if (*r.cls != 0 && *r.cls == vfpObjGetClass(file)) {
      cls = *r.cls;
      break;
    }
  const int option = (option1 == 1 ? vfpCOPY_REPLACE : 0) | vfpCOPY_SYNC;
  return vfpCopyObject(file, dest, cls, option) == vfpOK ? 1 : 0;
}

int vqpFileLoopD(int kind, LibraryDirId dir, const char *pattern, vqpFileLoopProc proc,
                 void *user) {
  const int cls = classOf(kind, kBlock);
  if (cls == 0 || proc == nullptr || vfpObjGetClass(dir) != vfpClassLIBRARY)
    return 0;
  return vfpObjLoop(dir, cls, pattern, proc, user);
}

int vqpIsFileModified(BlockFileId file) {
  return vfpObjIsModified(file);
}
