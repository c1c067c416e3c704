// Small data files beside the program: paths of program and user files,
// whole-file reads into the caller's buffer, and writes that never leave a
// half-written file under the target's name.
#pragma once

#include <cstdint>

#include "framework/strings/WideString.h"

constexpr char16_t kSafeWriteTempName[] = u"temp.dat";

// What a read of a whole file met, for callers that must tell a file that is
// not there from one they could not read, and never write over the latter.
enum class FileRead : uint8_t {
    Whole,       // every byte asked for
    Missing,     // neither the file nor a pending copy of it is there
    Cut,         // the file holds fewer bytes than asked
    Unreadable,  // the file is there but would not open or read, its newest
                 // data lies in a temp file that would not move, or the
                 // folder could not say which
};

// Folder + separator + name (no separator when the folder is empty).
void makeProgramFilePath(WideString& out, const char16_t* name);
void makeUserFilePath(WideString& out, const char16_t* name);
// The part before the last separator; empty for null or no separator.
void directoryOf(WideString& out, const char16_t* path);
// The part after the last separator; the whole path without one.
void fileNameOf(WideString& out, const char16_t* path);

// The first size bytes of the file; 1 also for a null buffer or size 0.
int readFileExact(const char16_t* path, void* buffer, uint32_t size);
// Creates or truncates the file and writes the bytes; 0 for no data.
int writeFileDirect(const char16_t* path, const void* data, uint32_t size);
// Writes "temp.dat" beside the target, made anew in place of whatever stood
// under that name (never written through a link), and checks its size on
// disk; only then deletes the old file and renames the new one into its
// place. A failure
// leaves the old file, or (when only the rename failed) the complete new one
// as "temp.dat", which the user-file reads below take up. No data deletes
// the target (1).
int writeFileSafely(const char16_t* path, const void* data, uint32_t size);

int readProgramFile(const char16_t* name, void* buffer, uint32_t size);
// When the file is missing, a "temp.dat" beside it of exactly size bytes is
// the new file of an interrupted safe write: it is moved into place and read.
// One that will not move counts as unreadable, never as missing. found, when
// given, says what the read met.
int readUserFile(const char16_t* name, void* buffer, uint32_t size, FileRead* found = nullptr);
int readSaveGameFile(const char16_t* name, void* buffer, uint32_t size);
// The same move without the read: run for every file that shares the temp
// file before any of them is written, so no pending one is overwritten. 0
// while the file's newest data still lies only in "temp.dat" (the move
// failed, or the folder could not say whether it does): nothing may write the
// temp file then, that file's own save neither, since opening it for writing
// empties the only copy.
int finishInterruptedUserFileWrite(const char16_t* name, uint32_t size);
int writeUserFileDirect(const char16_t* name, const void* data, uint32_t size);
int writeUserFileDirect2(const char16_t* name, const void* data, uint32_t size);
int writeUserFile(const char16_t* name, const void* data, uint32_t size);
int writeSaveGameFile(const char16_t* name, const void* data, uint32_t size);
