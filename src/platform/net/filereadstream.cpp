// The file read stream: plain file I/O behind the read-stream interface. It has bytes until the
// end of the file, then one end event.
#include <cstdio>

#include "platform/net/readstream.h"

namespace tonvera {

namespace {

class FileReadStream final : public ReadStream {
 public:
  explicit FileReadStream(std::string path) : path_(std::move(path)) {}
  ~FileReadStream() override {
    unscheduleFromRunLoop();
    close();
  }

  bool open() override {
    if (status_ != ReadStreamStatus::NotOpen) return false;
    file_ = std::fopen(path_.c_str(), "rb");
    if (!file_) return false;
    status_ = ReadStreamStatus::Open;
    return true;
  }
  bool hasBytesAvailable() override { return status_ == ReadStreamStatus::Open && !atEnd_; }
  long read(std::uint8_t* buffer, std::size_t max) override {
    if (status_ == ReadStreamStatus::Error || status_ == ReadStreamStatus::Closed) return -1;
    if (!file_ || atEnd_) return 0;
    armed_ = true;
    const std::size_t n = std::fread(buffer, 1, max, file_);
    if (n < max) {
      if (std::ferror(file_)) {
        status_ = ReadStreamStatus::Error;
        return -1;
      }
      atEnd_ = true;
    }
    return static_cast<long>(n);
  }
  ReadStreamStatus status() const override { return status_; }
  void close() override {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (status_ != ReadStreamStatus::NotOpen) status_ = ReadStreamStatus::Closed;
  }
  bool setCurrentOffset(std::int64_t offset) override {
    if (!file_ || offset < 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    atEnd_ = false;
    endDelivered_ = false;
    armed_ = true;
    if (status_ == ReadStreamStatus::AtEnd) status_ = ReadStreamStatus::Open;
    return true;
  }

 private:
  bool takeEvent(ReadStreamEvent* event) override {
    if (status_ == ReadStreamStatus::NotOpen || status_ == ReadStreamStatus::Closed) return false;
    if (!openDelivered_) {
      openDelivered_ = true;
      *event = ReadStreamEvent::OpenCompleted;
      return true;
    }
    if (status_ == ReadStreamStatus::Error) {
      if (errorDelivered_) return false;
      errorDelivered_ = true;
      *event = ReadStreamEvent::ErrorOccurred;
      return true;
    }
    if (!atEnd_) {
      // Again only after the client has read: a client that does not read is not called in a loop.
      if (!armed_) return false;
      armed_ = false;
      *event = ReadStreamEvent::HasBytesAvailable;
      return true;
    }
    if (!endDelivered_) {
      endDelivered_ = true;
      status_ = ReadStreamStatus::AtEnd;
      *event = ReadStreamEvent::EndEncountered;
      return true;
    }
    return false;
  }

  const std::string path_;
  std::FILE* file_ = nullptr;
  ReadStreamStatus status_ = ReadStreamStatus::NotOpen;
  bool atEnd_ = false;
  bool openDelivered_ = false;
  bool endDelivered_ = false;
  bool errorDelivered_ = false;
  bool armed_ = true;
};

}  // namespace

std::unique_ptr<ReadStream> ReadStream::createWithFile(const std::string& path) {
  return std::make_unique<FileReadStream>(path);
}

}  // namespace tonvera
