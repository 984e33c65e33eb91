// gpi.cpp: the start and end of the programming interface, and the run
// flags it shares with the editor layers.
#include "gpi.h"

#include "qInit.h"
#include "ulErr.h"
#include "ulEx.h"
#include "ulMsg.h"

char q_rcancelled = 0;
char q_canc = 0;
char q_corrupt_display = 0;

int gpi_init() {
  q_rcancelled = 0;
  q_quiet = 0;
  q_canc = 0;
  q_corrupt_display = 0;
  q_bad_data = 0;
  get_msg_file();
  int version = q_get_version();
  if (version == -1)
    return 0;
  if (ulExTry(ulEX_POSTCOND, [&] { vqProjInit(version); })) {
    // The caller says that the interface could not start; why (no
    // scribant.ini, a project that cannot be opened) is reported here, on
    // standard error and in the error log, as an uncaught exception would
    // be. Leave the project database closed, so a retry starts clean.
    ulErrReport(nullptr, ulExErrV);
    vqProjExit();
    return 0;
  }
  q_scrib_init();
  vqProjBuiltinCheck();
  return 1;
}

int gpi_uninit() {
  // The project closes first, discarding any write in progress; the Blocks
  // still loaded then go without touching their (closed) files, so that a
  // later gpi_init finds none of them.
  vqProjExit();
  vqBlockReleaseAll();
  ulMsgClose();
  return 1;
}
