// AudioFiler: the file input of the local-file player, and file URLs.
#include "audio/audiofiler.h"

#include <QDir>
#include <QString>
#include <QUrl>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "audio/audioinput.h"
#include "platform/net/fileurl.h"

namespace tonvera {

namespace {

std::string normalised(const std::string& url) {
  return AudioFiler::namesLocalFile(url) && !isFileUrl(url) ? AudioFiler::fileUrlFor(url) : url;
}

class FileInput final : public AudioInput {
 public:
  explicit FileInput(std::string url) : url_(std::move(url)) {}

  std::unique_ptr<ReadStream> open(const Request& request) override {
    const std::string path = AudioFiler::localPathOf(url_);
    if (path.empty()) return nullptr;
    auto stream = ReadStream::createWithFile(path);
    if (!stream->open()) return nullptr;
    if (request.offset > 0 && !stream->setCurrentOffset(request.offset)) return nullptr;
    // The file's size plays the part of a stream's length: seeks stay within its whole frames.
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    length_ = error ? 0 : static_cast<std::int64_t>(size);
    return stream;
  }
  bool reopens() const override { return false; }
  std::uint32_t typeHint(const ReadStream&) const override { return kPureFileType; }  // every file is PURE
  std::int64_t length(const ReadStream&) const override { return length_; }
  const std::string& url() const override { return url_; }

 private:
  const std::string url_;
  std::int64_t length_ = 0;  // of the file last opened
};

}  // namespace

std::unique_ptr<AudioInput> makeFileInput(std::string url) { return std::make_unique<FileInput>(std::move(url)); }

std::unique_ptr<AudioStreamer> AudioFiler::create(const std::string& url, StreamerOptions options) {
  return std::make_unique<AudioStreamer>(makeFileInput(normalised(url)), std::move(options));
}

std::string AudioFiler::localPathOf(const std::string& url) {
  const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
  if (!u.isValid() || !u.isLocalFile()) return {};
  return u.toLocalFile().toStdString();
}

std::string AudioFiler::fileUrlFor(const std::string& path) {
  return QUrl::fromLocalFile(QDir::current().absoluteFilePath(QString::fromStdString(path)))
      .toString(QUrl::FullyEncoded)
      .toStdString();
}

bool AudioFiler::namesLocalFile(const std::string& text) {
  if (isFileUrl(text)) return true;
  // A scheme is letters, digits, "+", "-" or "." before a ":" (and a drive letter never occurs here).
  const std::size_t colon = text.find(':');
  const std::size_t slash = text.find('/');
  if (colon == std::string::npos || (slash != std::string::npos && slash < colon)) return true;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool schemeChar = std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    if (!schemeChar) return true;
  }
  return colon == 0;
}

}  // namespace tonvera
