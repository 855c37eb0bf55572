#include "station/tagreader.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cstdlib>

#include "station/text.h"

namespace tonvera::station {

// Files are opened through read-only streams: TagLib would otherwise open them for writing too,
// and closing a file opened for writing tells the folder watcher that it changed.

namespace {

std::string utf8(const TagLib::String& s) { return toValidUtf8(s.to8Bit(true)); }

std::string trimmed(std::string s) {
  const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

std::string firstValue(const TagLib::PropertyMap& map, const char* key) {
  auto it = map.find(key);
  if (it == map.end() || it->second.isEmpty()) return {};
  return trimmed(utf8(it->second.front()));
}

void fillFromProperties(const TagLib::PropertyMap& map, TrackTags& tags) {
  tags.title = firstValue(map, "TITLE");
  tags.album = firstValue(map, "ALBUM");
  tags.albumArtist = firstValue(map, "ALBUMARTIST");
  tags.genre = firstValue(map, "GENRE");
  tags.trackNumber = std::atoi(firstValue(map, "TRACKNUMBER").c_str());
  if (tags.trackNumber < 0) tags.trackNumber = 0;
  std::vector<std::string> values;
  if (auto it = map.find("ARTIST"); it != map.end())
    for (const auto& v : it->second) values.push_back(utf8(v));
  tags.artists = splitArtistNames(values);
}

bool hasApic(TagLib::ID3v2::Tag* tag) { return tag && !tag->frameListMap()["APIC"].isEmpty(); }

}  // namespace

std::vector<std::string> splitArtistNames(const std::vector<std::string>& values) {
  std::vector<std::string> names;
  auto add = [&](std::string name) {
    name = trimmed(std::move(name));
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  };
  static const std::vector<std::string> kSeparators{" / ", ";", "、", "\x1f"};
  for (const auto& value : values) {
    std::vector<std::string> parts{value};
    for (const auto& sep : kSeparators) {
      std::vector<std::string> next;
      for (const auto& part : parts) {
        std::size_t start = 0;
        for (auto pos = part.find(sep); pos != std::string::npos; pos = part.find(sep, start)) {
          next.push_back(part.substr(start, pos - start));
          start = pos + sep.size();
        }
        next.push_back(part.substr(start));
      }
      parts = std::move(next);
    }
    for (auto& part : parts) add(std::move(part));
  }
  return names;
}

std::optional<TrackTags> readTrackTags(const std::string& path, AudioFormat format, std::uint64_t fileSize) {
  TrackTags tags;
  tags.audioEnd = fileSize;
  switch (format) {
    case AudioFormat::Pure: {
      auto header = readPureHeader(path);
      if (!header) return std::nullopt;
      tags.durationMs = header->durationMs();
      return tags;
    }
    case AudioFormat::Caf:
      if (!hasCafAudio(path)) return std::nullopt;
      return tags;  // no tag reader; names come from the path
    case AudioFormat::Aac: {
      auto adts = readAdtsInfo(path);
      if (!adts) return std::nullopt;
      tags.durationMs = adts->durationMs;
      tags.audioBegin = adts->begin;
      tags.audioEnd = adts->end;
      // The tag block in front of the frames is ID3v2, which TagLib's MPEG reader understands.
      TagLib::FileStream stream(path.c_str(), true);
      TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
      if (file.isValid()) {
        fillFromProperties(file.properties(), tags);
        tags.embeddedCover = file.hasID3v2Tag() && hasApic(file.ID3v2Tag());
      }
      return tags;
    }
    case AudioFormat::Mp3: {
      TagLib::FileStream stream(path.c_str(), true);
      TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), true,
                              TagLib::AudioProperties::Average);
      if (!file.isValid()) return std::nullopt;
      fillFromProperties(file.properties(), tags);
      if (file.audioProperties()) tags.durationMs = file.audioProperties()->lengthInMilliseconds();
      // TagLib takes the length from a Xing/Info header when there is one, even when the frames
      // it counts were cut off: the frames themselves must be there too.
      if (tags.durationMs <= 0 || !hasMpegAudioFrames(path)) return std::nullopt;
      tags.embeddedCover = file.hasID3v2Tag() && hasApic(file.ID3v2Tag());
      return tags;
    }
    case AudioFormat::M4a: {
      TagLib::FileStream stream(path.c_str(), true);
      TagLib::MP4::File file(&stream, true, TagLib::AudioProperties::Average);
      if (!file.isValid()) return std::nullopt;
      fillFromProperties(file.properties(), tags);
      if (file.audioProperties()) tags.durationMs = file.audioProperties()->lengthInMilliseconds();
      if (tags.durationMs <= 0) return std::nullopt;
      tags.embeddedCover = file.tag() && file.tag()->contains("covr");
      return tags;
    }
    case AudioFormat::Wav:
    case AudioFormat::Aiff: {
      TagLib::FileStream stream(path.c_str(), true);
      TagLib::FileRef file(&stream, true, TagLib::AudioProperties::Average);
      if (file.isNull()) return std::nullopt;
      fillFromProperties(file.file()->properties(), tags);
      if (file.audioProperties()) tags.durationMs = file.audioProperties()->lengthInMilliseconds();
      if (tags.durationMs <= 0) return std::nullopt;
      return tags;
    }
  }
  return std::nullopt;
}

std::optional<std::string> readEmbeddedPicture(const std::string& path, AudioFormat format) {
  auto bytes = [](const TagLib::ByteVector& v) { return std::string(v.data(), v.size()); };
  if (format == AudioFormat::Mp3 || format == AudioFormat::Aac) {
    TagLib::FileStream stream(path.c_str(), true);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid() || !file.hasID3v2Tag()) return std::nullopt;
    const auto& frames = file.ID3v2Tag()->frameListMap()["APIC"];
    const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (auto* frame : frames) {
      auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame);
      if (!picture || picture->picture().isEmpty()) continue;
      if (!chosen || picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) chosen = picture;
      if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) break;
    }
    if (!chosen) return std::nullopt;
    return bytes(chosen->picture());
  }
  if (format == AudioFormat::M4a) {
    TagLib::FileStream stream(path.c_str(), true);
    TagLib::MP4::File file(&stream, false);
    if (!file.isValid() || !file.tag() || !file.tag()->contains("covr")) return std::nullopt;
    const auto covers = file.tag()->item("covr").toCoverArtList();
    for (const auto& cover : covers)
      if (!cover.data().isEmpty()) return bytes(cover.data());
  }
  return std::nullopt;
}

}  // namespace tonvera::station
