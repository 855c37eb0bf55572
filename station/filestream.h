#pragma once
// Answers a request with a byte range of a file on disk, read in chunks as the client takes them
// (never the whole file in memory): 200 with every byte, 206 with "Content-Range" for a satisfiable
// "Range", 416 with "Content-Range: bytes */<length>" for a range past the end. A client that goes
// away mid-stream ends the transfer at the next chunk; the file is closed when the reply is done.
// Threads: request worker threads.

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace tonvera::station {

// Serves bytes [begin, end) of `path` (end 0: to the end of the file). `open` counts the streams
// in flight. False when the file cannot be opened (nothing is set on `res` then).
bool serveFile(const httplib::Request& req, httplib::Response& res, const std::string& path, std::uint64_t begin,
               std::uint64_t end, const std::string& contentType, std::atomic<int>& open);

}  // namespace tonvera::station
