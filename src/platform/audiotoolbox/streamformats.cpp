// The table of container formats the stream parser understands.
#include <iterator>

#include "platform/audiotoolbox/containerparsers.h"
#include "platform/audiotoolbox/streamformat.h"

namespace tonvera {

namespace {
struct FormatEntry {
  std::uint32_t fileType;
  StreamFormatFactory factory;
};

constexpr FormatEntry kFormats[] = {
    {kAudioFileMP3Type, makeMp3StreamParser},   {kAudioFileAAC_ADTSType, makeAdtsStreamParser},
    {kAudioFileM4AType, makeMp4StreamParser},   {kAudioFileMPEG4Type, makeMpeg4StreamParser},
    {kAudioFileWAVEType, makeWavStreamParser},  {kAudioFileAIFFType, makeAiffStreamParser},
    {kAudioFileAIFCType, makeAiffStreamParser}, {kAudioFileCAFType, makeCafStreamParser},
    {kAudioFilePureType, makePureStreamParser},
};
}  // namespace

StreamFormatFactory streamFormatFactory(std::uint32_t fileType) {
  for (const auto& entry : kFormats) {
    if (entry.fileType == fileType) return entry.factory;
  }
  return nullptr;
}

}  // namespace tonvera
