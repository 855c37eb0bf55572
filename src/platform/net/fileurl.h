#pragma once
// The one test for "this URL names a local file".
//
// Threads: a pure function; any thread.

#include <string_view>

namespace tonvera {

// True when the text starts with the scheme "file:" in any case ("file:", "FILE:", "File:"): URL
// schemes are case-insensitive. A bare path is not a URL and gives false.
bool isFileUrl(std::string_view url);

}  // namespace tonvera
