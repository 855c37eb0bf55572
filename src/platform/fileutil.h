#pragma once
// Small file helpers shared by every module that keeps files: whole-file reads, atomic writes, and
// setting a damaged file aside so nothing is overwritten silently.
// Any thread may call them.

#include <optional>
#include <string>
#include <string_view>

namespace tonvera {

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> readFile(const std::string& path);

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and renames it over `path`,
// so readers see the old or the new file, never a mix. False (and `error` set) on failure.
bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Renames `path` to "<path><suffix>" (suffix such as ".corrupt"), or "<path><suffix>-<unix time>"
// when that name is taken. Answers the new path, or nothing when the rename failed.
std::optional<std::string> moveAside(const std::string& path, const std::string& suffix);

// Creates `path` and every missing parent folder; an existing folder is not an error.
bool makeDirectories(const std::string& path, std::string* error = nullptr);

// The value of environment variable `name`, or nothing when unset or empty.
std::optional<std::string> environment(const char* name);

// $HOME, else the passwd entry's home folder.
std::string homeDirectory();

}  // namespace tonvera
