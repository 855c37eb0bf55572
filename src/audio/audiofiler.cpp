// AudioFiler: the local-file player's input, framing and seeking on top of AudioStreamer.
#include "audio/audiofiler.h"

#include <QDir>
#include <QString>
#include <QUrl>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "audio/purecodec.h"
#include "platform/net/fileurl.h"

namespace tonvera {

namespace {
std::string normalised(const std::string& url) {
  return AudioFiler::namesLocalFile(url) && !isFileUrl(url) ? AudioFiler::fileUrlFor(url) : url;
}
}  // namespace

AudioFiler::AudioFiler(const std::string& url, StreamerOptions options)
    : AudioStreamer(normalised(url), std::move(options)) {}

AudioFiler::~AudioFiler() {
  // The internal thread calls the hooks of this class: it ends before this part of the object goes.
  shutdown();
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

bool AudioFiler::openReadStream() {
  std::lock_guard guard(lock_);
  // A file that was refused once is refused again: no point in the thread's further attempts.
  if (errorCode_ != StreamerError::None) return false;
  const std::string path = localPathOf(url());
  auto stream = ReadStream::createWithFile(path);
  fileTypeHint_ = kPureFileType;  // every file is taken as PURE
  setState(StreamerState::WaitingForData);
  if (path.empty() || !stream->open()) {
    // A file that cannot be read has no audio: the track ends with that error instead of
    // looking like an empty track that played to its end.
    failWithErrorCode(StreamerError::AudioDataNotFound);
    return false;
  }
  stream_ = std::move(stream);
  if (loadHeader() != PureHeaderLoad::Loaded || (!pCODEC_ && !createPureCodec())) {
    // A refused or cut header (or no memory for the decoder state): the file cannot be framed.
    stream_.reset();
    failWithErrorCode(StreamerError::AudioDataNotFound);
    return false;
  }
  seekByteOffset_ += static_cast<std::int64_t>(kPureHeaderBytes);
  // The file's size plays the part of a stream's length: seeks stay within its whole frames.
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  fileLength_ = error ? 0 : static_cast<std::int64_t>(size);
  handlePropertyChangeForPur();
  createQueue();  // the queue exists before the first frame is decoded
  publishReadouts();
  if (isFinishing()) {
    stream_.reset();
    return false;
  }
  stream_->setClient([this](ReadStream& s, ReadStreamEvent event) { handleReadFromStream(s, event); });
  stream_->scheduleWithRunLoop(RunLoop::current());
  return true;
}

void AudioFiler::handleReadFromStream(ReadStream& stream, ReadStreamEvent event) {
  {
    std::lock_guard guard(lock_);
    if (&stream != stream_.get()) return;
  }
  switch (event) {
    case ReadStreamEvent::OpenCompleted:
      return;
    case ReadStreamEvent::ErrorOccurred:
      // The file can no longer be read: nothing more will come, so the track ends here instead of
      // waiting for bytes forever.
      failWithErrorCode(StreamerError::AudioDataNotFound);
      return;
    case ReadStreamEvent::EndEncountered:
      handleEndOfStream();
      return;
    case ReadStreamEvent::HasBytesAvailable:
      break;
  }
  std::uint8_t bytes[kReadChunk];
  long length = 0;
  {
    std::lock_guard guard(lock_);
    if (isFinishing() || !stream.hasBytesAvailable() || !pCODEC_) return;
    length = stream.read(bytes, kReadChunk);
    if (length <= 0) return;  // an error arrives as its own event
    seekByteOffset_ += length;
  }
  const std::uint32_t frames = frame_bytes_ > 0 ? static_cast<std::uint32_t>(length / frame_bytes_) : 0;
  handleAudioPackets(bytes, static_cast<std::uint32_t>(length), frames, nullptr);
}

void AudioFiler::handleAudioPackets(const std::uint8_t* data, std::uint32_t numberBytes,
                                    std::uint32_t /*numberPackets*/,
                                    const AudioStreamPacketDescription* packetDescriptions) {
  if (packetDescriptions) {
    beginPackets(true);  // a file carries no packets of a parsed format
    return;
  }
  // A chunk too short to complete the held frame is kept too: the frame is completed by the
  // following reads (after a seek, or at a file's end, the held bytes are dropped instead).
  handlePurePackets(data, numberBytes);
}

void AudioFiler::internalSeekToTime(double seconds) {
  std::lock_guard guard(lock_);
  if (estimateBitRate() == 0.0 || !stream_) {
    // Before the file is open and its header read, the seek waits.
    seekWasRequested_ = true;
    return;
  }
  if (!(seconds >= 0)) seconds = 0;
  pureSeekOffset(seconds);
  setState(StreamerState::Stopping);
  stopReason_ = StopReason::Temporary;
  if (audioQueue_) {
    err_ = audioQueue_->stop(true);
    if (err_) {
      failWithErrorCode(StreamerError::AudioQueueStopFailed);
      return;
    }
  }
  seekTime_ = seconds;
  // The stream stays open but, as after a reopened stream, the player waits for data: the queue
  // restarts when 15 buffers of the new position are queued. (Left Stopped, the internal loop
  // would take the temporary stop for the end of the track.)
  setState(StreamerState::WaitingForData);
  // The stream stays open; reading goes on from the new offset.
  stream_->setCurrentOffset(seekByteOffset_);
}

}  // namespace tonvera
