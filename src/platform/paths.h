// SPDX-License-Identifier: GPL-3.0-or-later
// The project directory and path helpers. Paths may use "/" or "\" as
// separators (files written on the instrument's original platform use "\").
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace sondrix::platform {

// Tells the path helpers where the running executable is (argv[0] or
// /proc/self/exe). Called once by main.
void SetExecutablePath(std::string_view path);

// The directory of the running executable (no trailing separator), or empty
// when it cannot be found.
std::string ExecutableDir();

// An installed program's shared files, <prefix>/share/sondrix (the resource
// file, the examples), when the executable is <prefix>/bin/<name> and that
// directory holds sondrix.uir; empty for a program with its resource file
// beside it or run from its build tree. No trailing separator.
std::string InstalledDataDir();

// $SONDRIX_HOME when set; otherwise, for an installed program,
// ~/.local/share/sondrix; otherwise the executable's directory when it is
// writable; otherwise ~/.local/share/sondrix. Created on demand; when an
// installed program creates ~/.local/share/sondrix, it puts copies of its
// examples in it (examples/), which the user may edit and calibrate.
// No trailing separator.
std::string GetProjectDir();

// Splits a path into drive (always empty here), directory (with its trailing
// separator) and file name.
void SplitPath(std::string_view path, std::string& drive, std::string& directory,
               std::string& file);

// Joins a directory and a file name with one separator.
std::string JoinPath(std::string_view directory, std::string_view file);

bool FileExists(std::string_view path);

// Whether a file may be written at `path`: a new name or a regular file.
// Opening a pipe for writing would wait for a reader, and a device or a
// folder is no file of ours.
bool IsSaveTarget(std::string_view path);

// Opens the regular file `path` for writing (`access` O_WRONLY or O_RDWR)
// without following a link: an existing file is opened, and emptied when
// `truncate` is set; a missing name is created new (O_EXCL), so that a link
// planted there in between is never followed either. Never waits for a
// reader. The descriptor (close-on-exec), or -1 with errno ELOOP for a link
// (dangling or not), EISDIR for a folder, ENXIO for a pipe, a device or a
// socket, or the error of the open.
int OpenRegularFileToWrite(std::string_view path, int access, bool truncate);

// Whether `path` names a regular file (after links). A named pipe, a device
// or a folder is never a file of ours to read: opening a pipe waits for a
// writer, and a device such as /dev/zero never ends.
bool IsRegularFile(std::string_view path);

// Opens a file a user, the command line or a settings file named, for
// reading: a regular file only, opened without waiting (a pipe given in its
// place would keep the program waiting in the open itself). Null when it
// cannot be opened or is no regular file; the caller closes it.
std::FILE* OpenRegularFile(std::string_view path);

// The whole of such a file, or nothing (see OpenRegularFile).
std::optional<std::string> ReadRegularFile(std::string_view path);

// How much of an open file a reader has consumed: its position over its
// size now, 0 ... 1 (1 for an empty file); -1 when either cannot be told.
double ReadFraction(std::FILE* file);

}  // namespace sondrix::platform
