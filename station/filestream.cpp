#include "station/filestream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "station/byterange.h"
#include "station/limits.h"

namespace tonvera::station {

namespace {

// An open file and its place in the count of streams in flight; both end with the last owner.
class OpenFile {
 public:
  OpenFile(int fd, std::atomic<int>& open) : fd_(fd), open_(open) { ++open_; }
  ~OpenFile() {
    ::close(fd_);
    --open_;
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
  std::atomic<int>& open_;
};

}  // namespace

bool serveFile(const httplib::Request& req, httplib::Response& res, const std::string& path, std::uint64_t begin,
               std::uint64_t end, const std::string& contentType, std::atomic<int>& open) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  auto file = std::make_shared<OpenFile>(fd, open);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  if (end == 0 || end > fileSize) end = fileSize;  // a file cut short since the scan serves what is left
  if (begin > end) begin = end;
  const std::uint64_t length = end - begin;

  res.set_header("Accept-Ranges", "bytes");
  const RangeRequest range = parseRange(req.get_header_value("Range"), length);
  std::uint64_t first = 0;
  std::uint64_t count = length;
  switch (range.kind) {
    case RangeRequest::Kind::Unsatisfiable:
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(length));
      return true;
    case RangeRequest::Kind::Partial:
      res.status = 206;
      first = range.first;
      count = range.last - range.first + 1;
      res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) +
                                          "/" + std::to_string(length));
      break;
    case RangeRequest::Kind::Whole:
      res.status = 200;
      break;
  }
  if (count == 0) {
    res.set_content(std::string(), contentType);
    return true;
  }
  const std::uint64_t start = begin + first;
  res.set_content_provider(
      static_cast<std::size_t>(count), contentType,
      [file, start](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
        std::vector<char> buffer(std::min<std::size_t>(wanted, kStreamChunkBytes));
        const ssize_t got = ::pread(file->fd(), buffer.data(), buffer.size(), static_cast<off_t>(start + offset));
        if (got <= 0) return false;  // the file shrank or failed: end the transfer
        return sink.write(buffer.data(), static_cast<std::size_t>(got));  // false: the client left
      });
  return true;
}

}  // namespace tonvera::station
