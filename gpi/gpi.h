// gpi.h: the programming interface through which a batch program edits
// blocks of the schematic database without the editor's user interface.
//
// A program starts the interface once and ends it once:
//   if (!gpi_init()) ... cannot work: no project, no settings ...
//   ... loads, edits, saves, releases ...
//   gpi_uninit();
// gpi_init opens the editor's message file, sets the database version, opens
// the project of the editor's initialisation file scribant.ini (its library
// list comes from that file's DIR lines), reads the editor settings from the
// same file, and re-reads the library list if reading the settings rewrote
// the file. Messages about the settings file appear on standard output, as
// the editor shows them; why a project cannot be opened goes to standard
// error (see Errors); nothing else is printed.
//
// Errors: every operation returns 1 (non-zero) for success and 0 for
// failure; the caller reports the failure. gpi_init alone also reports why
// the project could not be opened, through the error layer (ulErr.h). The
// editor's message file that cannot be opened raises the message layer's
// exception (see ulMsg.h).
//
// The run flags below are shared with the editor layers. Each is 0 or 1;
// q_quiet (sbMsg.h) silences the console output of the editor layers.
// Single-threaded: the flags and the project are process-wide.
#pragma once

#include "sbMsg.h"

// The current operation was cancelled by the user.
extern char q_rcancelled;
// A cancel request is pending.
extern char q_canc;
// What is shown no longer matches the block in memory.
extern char q_corrupt_display;
// The block read last held bad data.
extern char q_bad_data;

// Clears the run flags (q_quiet included), opens the editor's message file,
// takes the database version (q_get_version), opens the project (vqProjInit),
// reads the editor settings (q_scrib_init; a settings file read with errors
// still lets the interface start, with what could be applied) and completes
// the project's library list (vqProjBuiltinCheck). 1 on success; 0 when the
// version cannot be had or the project cannot be opened. The reason a
// project cannot be opened is reported through the error layer (standard
// error and the error log) before the 0 is returned.
int gpi_init();

// Closes the project database and the message files. Returns 1.
int gpi_uninit();
