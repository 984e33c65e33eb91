// ulPref.h: preferences (typed, named settings) and command-line options.
//
// A preference is a named setting with a type spec, a default, a description
// and a current value. Preferences are grouped in sets ("err", "ex", and the
// sets of other layers), and every set is entered by name in one
// process-wide table, so that one command-line scan can reach all of them and
// one usage listing can show them all.
//
// Calling sequence of a layer that declares preferences:
//   ulPrefDB *set = ulPrefCreate("err");
//   ulPrefAdd2(set, "logging", &ulOnOffVT, ulMsgFile(), 1152, ulPrefWord(1));
//   ulPrefAdd2(set, "keep_logfiles", &ulUnsignedIntVT, ulMsgFile(), 1153, ulPrefWord(0));
//   ulPrefParse(nullptr, &argc, argv);          // takes its arguments out of argv
//   int on = ulPrefIntVal(set, "logging");
//   ...
//   ulPrefDestroy(set);
//
// Preference arguments. An argument is a sign, a set name, a point and a
// preference name: "+err.logging", "-err.keep_logfiles 3". Switches (type
// ulOnOffVT, ulYesNoVT, ulTrueFalseVT) take their value from the sign alone,
// "+" for On/Yes/True and "-" for Off/No/False, and use one argument; every
// other type takes the following argument as its value (ulVoidVT takes none).
// Without a set name ("-keep_logfiles 3" or "-.keep_logfiles 3") the
// argument addresses the shorthand set: the set named like the program
// (the base name of argv[0]) unless ulPrefSetShorthand named another one or
// switched the shorthand off. Set and preference names are matched without
// regard to case. Arguments that name no known set or preference, or lack a
// required value, stay in argv for the command's own parsing.
//
// Values. A value is one machine word (void *), interpreted by its type spec:
//   - enumerations (ulYesNoVT, ulOnOffVT, ulTrueFalseVT and the ulErr*VT
//     types) hold the index of the value name, integers (ulIntVT,
//     ulPositiveIntVT, ulUnsignedIntVT, ulCharVT) the number itself, ulInt64VT
//     a 64-bit integer; pass such defaults as ulPrefWord(n), read them with
//     ulPrefIntVal or ulPrefInt64Val;
//   - floating point types hold a pointer to a double; pass a default as the
//     address of a double (it is copied), read with ulPrefFloatVal;
//   - string, file and directory types hold a pooled string (ulStr.h), except
//     ulStringConstVT, which holds the caller's pointer itself;
//   - ulStrArrayVT holds a null-terminated array of pooled strings;
//   - ulByteBlockVT holds a ulByteBlock; ulErrVT an error chain (a reference
//     is taken), ulErrStreamVT an error stream (a reference is taken),
//     ulPrefVT a preference set, ulTypespecVT a type spec, ulCallbackVT and
//     ulAnyVT any word, stored as it is; ulVoidVT always 0.
// The module keeps its own copies (made by the type spec) of defaults and
// values; ulPrefSetval copies the value it is given. What ulPrefVal,
// ulPrefDefault and ulPrefStrVal return belongs to the set: valid until the
// value changes or the set is destroyed.
//
// Reading text. Each type spec reads a value from text: enumerations accept a
// value name, ignoring case, or a unique abbreviation of one, or the index in
// decimal; integers accept decimal, "0x" hexadecimal and "0" octal numbers in
// their range; floats accept any number strtod reads whole; strings take the
// text as it is (ulStringUpperVT and ulStringLowerVT change its case,
// ulStringNotEmptyVT refuses ""), ulStringRestOfLine1VT drops leading and
// trailing blanks; file and directory types check the file system (a
// readable file, a file that can be written or created, an existing or
// writable directory); ulStrArrayVT splits the text into words at blanks
// (double quotes group). ulCallbackVT, ulAnyVT, ulErrStreamVT accept no text.
//
// Errors. A value that its type spec cannot read, on the command line or in
// a preference file, is an error: message 1501 of the library's message file
// ("ullib"), with the arguments (value text, "set.name") and
// the location of the file and line being read (none for the command line),
// thrown as a library exception with tag 2 (ulEx.h). Everything else is
// reported through return values.
//
// Preference files. ulPrefReadIniFile and ulPrefWriteIniFile use this text
// format, one entry per line:
//   |5.0
//   # a comment
//   err.keep_logfiles = 3
//   myset.title = "  padded title "
// A line may begin with the version marker "|5.0" (followed by blanks or
// nothing), which is dropped. Blank lines and lines whose first non-blank
// character is "#" are skipped. An entry is a key (set name, a point and the
// preference name, matched without regard to case), optional blanks, "=",
// and the value: the rest of the line without its surrounding blanks, or,
// when it begins with a double quote, one quoted token (a backslash escapes
// a double quote or a backslash). Lines without "=" or with a key without a
// point are skipped. Entries of sets or preferences that do not exist yet
// are kept, and given to the preference when it is declared. A value read
// from a file never replaces a value set on the command line. The writer
// emits the marker line and then one entry per preference that has been set
// (ulPrefForEachUserOption), quoting a value when needed, and replaces the
// file crash-safely (ulReplaceFile), so the old file survives any failure.
//
// ulPrefParse with a product name reads the product's preference files
// "$HOME/.PRODUCT.prefs" and then "./.PRODUCT.prefs" (when they exist; the
// second wins).
//
// Option scanners. ulCmdParse1 walks argv and lets a function decide about
// each argument that begins with "-" or "+"; ulCmdParse looks options up in
// tables of value options and flags (abbreviations allowed); ulCmdFlag takes
// one named option out of argv. Arguments they use are removed from argv:
// the later ones move forward, *argc drops, and the freed slots at the end
// are set to null (so argv[*argc] is null).
//
// Single-threaded: the table of sets, the shorthand, the pending file values
// and the registered type specs are process-wide.
#pragma once

#include <cstdint>

#include "ulMsg.h"

// ---- Type specs --------------------------------------------------------------

// Families of value representation (see "Values" above); two type specs of
// the same family, or enumerations with the same value names, are
// compatible (ulPrefCompatible).
enum : int {
  ulPrefFAM_ENUM = 1,   // index of a value name
  ulPrefFAM_INT = 2,    // a number in the word
  ulPrefFAM_INT64 = 3,  // a 64-bit number in the word
  ulPrefFAM_FLOAT = 4,  // pointer to an owned double
  ulPrefFAM_STRING = 5, // owned pooled string
  ulPrefFAM_CONST = 6,  // caller's string, not copied
  ulPrefFAM_OTHER = 7,  // everything else: only the same type spec is compatible
};

// A named description of a value type: how to read a value from text, print
// it, copy it and release it.
struct ulTypespec {
  const char *name;              // "ulIntVT"
  int family;                    // ulPrefFAM_*
  const char *const *valueNames; // enumerations: the value names, index = value; else null
  int valueCount;                // number of value names (0 when not an enumeration)
  // Reads text into *value (a new value owned by the caller); 1 on success,
  // 0 when the text is not a value of the type.
  int (*read)(const ulTypespec *ts, const char *text, void **value);
  // The value as text, an owned pooled string (ulStrFree).
  char *(*print)(const ulTypespec *ts, void *value);
  // A copy of value that the caller owns.
  void *(*copy)(const ulTypespec *ts, void *value);
  // Releases a value made by read or copy.
  void (*release)(const ulTypespec *ts, void *value);
};

// Enumerations, with their value names in order (index = value).
extern const ulTypespec ulYesNoVT;     // "No", "Yes"
extern const ulTypespec ulOnOffVT;     // "Off", "On"
extern const ulTypespec ulTrueFalseVT; // "False", "True"
extern const ulTypespec ulErrSevVT;    // "Error", "Status", "Note", "Warning", "Fatal",
                                       // "Internal", "Disabled"
extern const ulTypespec ulErrCntxVT;   // "Stderr", "StatusLine", "AlertBox", "LogFile"
extern const ulTypespec ulErrStyleVT;  // "terse", "verbose"
extern const ulTypespec ulErrActionVT; // "statusLine", "alertBox", "disabled"

// Integers.
extern const ulTypespec ulIntVT;         // int
extern const ulTypespec ulPositiveIntVT; // int above 0
extern const ulTypespec ulUnsignedIntVT; // 0 .. UINT_MAX
extern const ulTypespec ulInt64VT;       // 64-bit integer
extern const ulTypespec ulCharVT;        // one character (its code); prints as the character

// Floating point (the word points to a double).
extern const ulTypespec ulFloatVT;
extern const ulTypespec ulPositiveFloatVT; // above 0

// Strings.
extern const ulTypespec ulStringVT;
extern const ulTypespec ulStringUpperVT;       // upper-cased when read
extern const ulTypespec ulStringLowerVT;       // lower-cased when read
extern const ulTypespec ulStringConstVT;       // the pointer itself; never copied or freed
extern const ulTypespec ulStringNotEmptyVT;    // refuses the empty string
extern const ulTypespec ulStringRestOfLineVT;  // the text as it is, blanks included
extern const ulTypespec ulStringRestOfLine1VT; // without leading and trailing blanks

// File and directory names (strings checked against the file system when read).
extern const ulTypespec ulFileNameVT;      // any non-empty name
extern const ulTypespec ulFileReadVT;      // an existing readable file
extern const ulTypespec ulFileWriteVT;     // a writable file, or one that can be created
extern const ulTypespec ulFileReadWriteVT; // an existing file, readable and writable
extern const ulTypespec ulDirVT;           // an existing directory
extern const ulTypespec ulDirWriteVT;      // an existing writable directory

// Others.
extern const ulTypespec ulVoidVT;      // no value (always 0)
extern const ulTypespec ulCallbackVT;  // a function address; not read from text
extern const ulTypespec ulAnyVT;       // any word; not read from text
extern const ulTypespec ulByteBlockVT; // a ulByteBlock; text is pairs of hex digits
extern const ulTypespec ulErrVT;       // an error chain; text is one verbose error line
extern const ulTypespec ulErrStreamVT; // an error stream; prints as "%d message(s)"
extern const ulTypespec ulPrefVT;      // a preference set; text is a set name
extern const ulTypespec ulTypespecVT;  // a type spec; text is its name
extern const ulTypespec ulStrArrayVT;  // null-terminated array of pooled strings

// The value of ulByteBlockVT: one block (tag "ulByteBlock") holding the
// record and, right behind it, the bytes.
struct ulByteBlock {
  int size;             // number of bytes
  unsigned char *bytes; // the bytes (inside the same block)
};

// A number as a value word, for integer and enumeration defaults.
inline void *ulPrefWord(long long n) {
  return reinterpret_cast<void *>(static_cast<intptr_t>(n));
}

// 1 when values of type spec a can stand for values of b: the same spec, the
// same family (ulPrefFAM_OTHER excepted), or two enumerations with the same
// value names. 0 otherwise, or when either is null.
int ulPrefCompatible(const ulTypespec *a, const ulTypespec *b);

// Registers a type spec of another layer so that ulPrefFindTypespec and
// ulTypespecVT know it by name. Returns 1 (also when ts is registered
// already), or 0 when ts is null, has no name, a different type spec of that
// name is known, or 64 type specs are registered already.
int ulPrefRegisterSpecialTs(const ulTypespec *ts);

// The built-in or registered type spec named name (ignoring case), or null.
const ulTypespec *ulPrefFindTypespec(const char *name);

// ---- Sets and preferences ----------------------------------------------------

// A preference set. Opaque.
struct ulPrefDB;

// Flag bits of a preference.
enum : int {
  ulPrefCMDLINE = 0x20,  // its value was set from the command line
  ulPrefVALUESET = 0x80, // its value was set (else it has its default)
};

// One preference, as the loops below show it. Read-only for callers.
struct ulPrefOption {
  char *name;              // owned: the name as declared (lookups ignore case)
  const ulTypespec *type;  // its type spec
  char *description;       // owned: the direct description, or null
  ulMsgHandle messageFile; // message file of the description, or null
  int messageNumber;       // message number of the description in messageFile
  void *defaultValue;      // owned copy of the default
  void *value;             // owned current value; meaningful only with ulPrefVALUESET
  int flags;               // ulPrefVALUESET, ulPrefCMDLINE
};

// A new empty set named name, entered in the table of sets (replacing, for
// arguments and ulPrefFind, an older set of the same name, which stays valid
// for its owner). Null for a null or empty name.
ulPrefDB *ulPrefCreate(const char *name);

// Removes set from the table of sets (when it is the one entered under its
// name) and frees it with its preferences and values. Null does nothing.
void ulPrefDestroy(ulPrefDB *set);

// The set entered under name (ignoring case), or null.
ulPrefDB *ulPrefFind(const char *name);

// The name set was created with (owned by the set).
const char *ulPrefName(ulPrefDB *set);

// Declares a preference with a direct description (copied; may be null) or
// with message number of messageFile as its description (ulPrefAdd2), and a
// default value (copied by the type spec). A value for it kept from a
// preference file is applied now. Returns 1, or 0 (nothing changed) when an
// argument is missing or the set already has a preference of that name.
int ulPrefAdd(ulPrefDB *set, const char *name, const ulTypespec *ts, const char *description,
              void *defaultValue);
int ulPrefAdd2(ulPrefDB *set, const char *name, const ulTypespec *ts, ulMsgHandle messageFile,
               int number, void *defaultValue);

// Redeclare a preference (or declare it when it is new): type spec,
// description and default are replaced. A value that was set is kept when
// the old and new type specs are compatible, and otherwise dropped (the
// preference has its new default). Returns 1, or 0 when an argument is missing.
int ulPrefReplace(ulPrefDB *set, const char *name, const ulTypespec *ts, const char *description,
                  void *defaultValue);
int ulPrefReplace2(ulPrefDB *set, const char *name, const ulTypespec *ts, ulMsgHandle messageFile,
                   int number, void *defaultValue);

// The current value: the value set, else the default. 0 for an unknown set
// or preference.
void *ulPrefVal(ulPrefDB *set, const char *name);

// ulPrefVal converted: the number of an integer or enumeration value; the
// 64-bit number; the double of a float value (0.0 when unknown); the string
// of a string value (null when unknown).
int ulPrefIntVal(ulPrefDB *set, const char *name);
long long ulPrefInt64Val(ulPrefDB *set, const char *name);
double ulPrefFloatVal(ulPrefDB *set, const char *name);
const char *ulPrefStrVal(ulPrefDB *set, const char *name);

// The type spec, or null for an unknown preference.
const ulTypespec *ulPrefTypespec(ulPrefDB *set, const char *name);

// The default value (owned by the set), or 0 for an unknown preference.
void *ulPrefDefault(ulPrefDB *set, const char *name);

// 1 when the value was set (from the command line, a file or ulPrefSetval)
// and not reverted since; else 0.
int ulPrefChanged(ulPrefDB *set, const char *name);

// The flag bits (ulPrefVALUESET, ulPrefCMDLINE), or -1 for an unknown preference.
int ulPrefFlags(ulPrefDB *set, const char *name);

// The description as an owned string (ulStrFree): the direct one, or the
// message text (ulMsgAlloc, which never throws), or the empty string.
// Null for an unknown preference.
char *ulPrefDescriptionAlloc(ulPrefDB *set, const char *name);

// Stores a copy of value (made by the type spec) as the current value and
// marks it as set (not as set from the command line). Returns 1, or 0 for
// an unknown preference.
int ulPrefSetval(ulPrefDB *set, const char *name, void *value);

// Reads text with the preference's type spec and stores the result as
// ulPrefSetval does. Returns 1, or 0 (value unchanged) when the preference is
// unknown or the text cannot be read; nothing is reported.
int ulPrefSetText(ulPrefDB *set, const char *name, const char *text);

// The current value printed by its type spec, an owned string (ulStrFree);
// null for an unknown preference.
char *ulPrefValStrAlloc(ulPrefDB *set, const char *name);

// Back to the default: the value set is released and both flags cleared.
// Returns 1, or 0 for an unknown preference.
int ulPrefRevert(ulPrefDB *set, const char *name);

// ---- Loops -------------------------------------------------------------------

// Called for one preference of set; return 0 to stop the loop.
using ulPrefOptionFunc = int (*)(ulPrefDB *set, ulPrefOption *option, void *data);

// Sorts the preferences of set by name (ignoring case) for the loops and the
// usage listing; without it they come in the order they were declared.
void ulPrefAlphabetize(ulPrefDB *set);

// Calls function for every preference of set in the set's order. Returns 0
// when the function stopped the loop, else 1.
int ulPrefForEachOption(ulPrefDB *set, ulPrefOptionFunc function, void *data);

// The same for the preferences whose value has been set (ulPrefVALUESET):
// the ones a user chose.
int ulPrefForEachUserOption(ulPrefDB *set, ulPrefOptionFunc function, void *data);

// Calls function(set, data) for every set of the table, in ascending order
// of their names. Returns 0 when the function returned 0, else 1.
int ulPrefForEachSet(int (*function)(ulPrefDB *set, void *data), void *data);

// ---- Command line ---------------------------------------------------------------

// Names the set that arguments without a set name address (at most 80
// characters are kept); null switches the shorthand off. Once called,
// ulPrefParse no longer takes the shorthand from argv[0].
void ulPrefSetShorthand(const char *name);

// The shorthand set name, or null when it is off or not yet set.
const char *ulPrefGetShorthand();

// Leaves the module as the process started it: the shorthand not yet set
// (the next ulPrefParse takes it from argv[0]) and no values kept from
// preference files. Declared sets stay; the layers that made them destroy
// them.
void ulPrefExit();

// Takes the shorthand from argv[0] (base name, at most 80 characters) unless
// it was already set; when *argc > 1 and sets exist, scans argv with
// ulCmdParse1 for preference arguments (see the essay) and stores their
// values, removing the arguments used; with a product name, reads the
// product's preference files; then applies the values kept from preference
// files to every set. Returns the number of arguments removed. Throws
// (tag 2, message 1501) when a value cannot be read. argc and argv may be null.
int ulPrefParse(const char *productName, int *argc, char **argv);

// When an argument is "-usage", "-?" or "-help": prints "Options for %s\n"
// with argv[0] on standard output, then every preference of every set (sets
// by name, preferences in each set's order), one per line as "%20s%s\n": the
// argument form ("+/-set.name" for switches, else "-set.name") and then two
// blanks, the description, and in brackets the values it takes and its
// default. Returns 1. Otherwise prints nothing and returns 0. argv is not
// changed.
int ulPrefUsage(int *argc, char **argv);

// ---- Preference files ------------------------------------------------------------

// Reads a preference file (format in the essay) and applies its values to
// the sets that exist, keeping the others for later. Returns 1, or 0 when
// the file cannot be opened. Throws (tag 2, message 1501, located at the
// file and line) when a value cannot be read.
int ulPrefReadIniFile(const char *fileName);

// Writes the preferences of set that have been set (every set when set is
// null) into fileName, replacing it crash-safely (ulReplaceFile: keeps its
// permission bits, syncs, renames). Returns 1, or 0 when the file could not
// be written (the old file is untouched and no temporary file is left).
int ulPrefWriteIniFile(const char *fileName, ulPrefDB *set);

// ---- Option scanners -------------------------------------------------------------

// Decides about one argument: called with the argument, the one after it
// (null when it is the last) and the caller's data. Returns 1 to remove the
// argument, 2 to remove it and the one after it, 3 to leave it and go on;
// anything else ends the scan.
using ulCmdFunc = int (*)(const char *argument, const char *next, void *data);

// Walks argv from index 1 while below *argc; arguments that begin with "-"
// or "+" go to function (see ulCmdFunc), others are passed over. After a
// removal the scan goes on at the same index. Returns the number of
// arguments removed.
int ulCmdParse1(int *argc, char **argv, ulCmdFunc function, void *data);

// Table-driven scan. Walks the arguments from index 1: an argument beginning
// with "-" is looked up without its sign among valueNames (ulStrIndex: exact
// or unique abbreviation; the names are written in lower case); found, the
// next argument goes into values at the index found and both count as used
// (an option with no next argument ends the walk). Otherwise it is looked up
// among flagNames; found, flags at that index is set to 1 and it counts as
// used. An unknown option ends the walk; arguments not beginning with "-" are
// passed over. Then the first used-count arguments after the program name
// are dropped (options are expected ahead of the other arguments). Returns
// the number used. values and flags may be null when their counts are 0.
int ulCmdParse(int *argc, char **argv, const char *const *valueNames, int valueCount, char **values,
               const char *const *flagNames, int flagCount, int *flags);

// Finds the first argument after the program name equal to name ignoring
// case (with hasValue, among the arguments that have one following), removes
// it (and its value) and returns the value (with hasValue) or the argument.
// Null when absent or when there are no arguments. The result points to the
// caller's argument string.
char *ulCmdFlag(int *argc, char **argv, const char *name, int hasValue);
