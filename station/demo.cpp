#include "station/demo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/g719/pure_writer.h"
#include "platform/fileutil.h"
#include "station/demopure.h"
#include "station/encoder.h"
#include "station/limits.h"
#include "station/painter.h"
#include "station/synth.h"

namespace tonvera::station {

namespace fs = std::filesystem;

namespace {

// Bump when the generated library changes, so stations regenerate it.
constexpr const char* kDemoVersion = "tonvera-demo 2";
constexpr const char* kMarkerName = ".tonvera-demo";
constexpr double kReducedSeconds = 2.5;
constexpr int kBitRate = 128000;

enum class CoverPlace { Embedded, CoverJpg, FolderJpg };

struct DemoArtist {
  const char* name;
  bool hasFolder;  // has albums of its own, hence a folder with artist.jpg
};

struct DemoAlbum {
  const char* title;
  int artist;
  const char* genre;
  MusicStyle style;
  bool minor;
  int bpm;
  int key;
  DemoCodec codec;
  CoverPlace cover;
  bool englishLyrics;
};

struct DemoTrack {
  int album;
  const char* title;
  int guest;  // a second artist, or -1
  int seconds;
  bool lyrics;
  bool reduced;  // part of the reduced library
};

const DemoArtist kArtists[] = {
    {"林夏", true}, {"Echo Park", true}, {"山风乐队", true}, {"Nora Bell", true}, {"陈默", true}, {"苏小禾", false},
};

const DemoAlbum kAlbums[] = {
    {"夏日来信", 0, "流行", MusicStyle::Pop, false, 104, 62, DemoCodec::Mp3, CoverPlace::Embedded, false},
    {"城市之光", 0, "流行", MusicStyle::Pop, true, 96, 57, DemoCodec::Mp3, CoverPlace::CoverJpg, false},
    {"Paper Lanterns", 1, "摇滚", MusicStyle::Rock, false, 128, 64, DemoCodec::Mp3, CoverPlace::FolderJpg, true},
    {"远山的回声", 2, "民谣", MusicStyle::Folk, false, 84, 60, DemoCodec::AdtsAac, CoverPlace::CoverJpg, false},
    {"Late Night Standards", 3, "爵士", MusicStyle::Jazz, false, 92, 65, DemoCodec::Mp3, CoverPlace::Embedded, true},
    {"星际漫游", 4, "电子", MusicStyle::Electronic, true, 124, 55, DemoCodec::AdtsAac, CoverPlace::Embedded, false},
    // PURE files carry no tags: their names come from the folders and file names.
    {"纯音", 4, "电子", MusicStyle::Electronic, false, 118, 57, DemoCodec::Pure, CoverPlace::CoverJpg, false},
};

const DemoTrack kTracks[] = {
    {0, "夏日来信", -1, 32, true, true},
    {0, "海边的风", -1, 26, true, false},
    {0, "你好，晴天", -1, 30, true, false},
    {0, "蓝色信封", 5, 34, true, true},
    {0, "晚安，月亮", -1, 24, true, false},
    {1, "城市之光", -1, 36, true, true},
    {1, "Neon Rain", -1, 28, true, false},
    {1, "地铁站台", -1, 22, true, false},
    {1, "Starlight Avenue", 1, 38, true, true},
    {2, "Paper Lanterns", -1, 30, true, true},
    {2, "Highway Lights", -1, 26, true, false},
    {2, "Running in Circles", -1, 34, true, false},
    {2, "Last Train Home", -1, 40, true, false},
    {3, "远山", -1, 36, true, true},
    {3, "河流与石头", -1, 28, true, false},
    {3, "故乡的云", -1, 32, true, false},
    {3, "风吹过麦田", 5, 24, true, false},
    {3, "路上", -1, 20, true, false},
    {4, "Blue Velvet Hour", -1, 34, true, true},
    {4, "Midnight Coffee", -1, 26, true, false},
    {4, "Rainy Window Waltz", -1, 30, true, false},
    {4, "Slow Dance at Eight", -1, 22, false, false},
    {5, "星际漫游", -1, 30, true, true},
    {5, "量子之梦", -1, 26, true, false},
    {5, "Orbit", -1, 24, false, false},
    {5, "深空信号", -1, 32, true, false},
    {6, "纯粹", -1, 28, true, false},
    {6, "脉冲", -1, 24, false, false},
    {6, "Clear Signal", -1, 26, true, false},
};

const char* const kChineseLines[] = {
    "风从海上来，带着你的名字", "我把夏天折进一封信里",     "街灯一盏一盏亮起来",   "你说晚一点也没关系",
    "云在山的那边慢慢走",       "河水记得每一块石头",       "我们在站台上挥手",     "时间像一首没唱完的歌",
    "月光落在窗台上",           "把明天留给远方",           "轻轻地说一声你好",     "星星在夜空里写信",
    "走过的路都开成了花",       "心里有一片安静的海",       "等一阵风，等一个人",   "回家的路很长很长",
};

const char* const kEnglishLines[] = {
    "Lanterns drifting on the river",  "Every light is calling home",   "We were running in the rain",
    "Hold the night a little longer",  "Coffee cold and stories warm",  "Dancing slow across the floor",
    "Counting stars along the highway", "Say my name the way you used to", "Paper dreams and city noise",
    "Somewhere past the midnight train", "Close your eyes and count to eight", "Streetlights hum a gentle tune",
};

std::string albumFolder(const DemoAlbum& album) {
  return std::string(kArtists[album.artist].name) + "/" + album.title;
}

std::string trackStem(const DemoTrack& track, int number) {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%02d ", number);
  return prefix + std::string(track.title);
}

std::string lrcTime(double seconds) {
  const int centis = static_cast<int>(seconds * 100 + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "[%02d:%02d.%02d]", centis / 6000, (centis / 100) % 60, centis % 100);
  return text;
}

bool writeBytes(const std::string& path, const std::string& bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

TagLib::String tl(const std::string& utf8) { return TagLib::String(utf8, TagLib::String::UTF8); }

bool tagFile(const std::string& path, const DemoTrack& track, int number, int albumTracks, const std::string& cover,
             std::string* error) {
  const DemoAlbum& album = kAlbums[track.album];
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isValid()) {
    if (error) *error = "cannot tag " + path;
    return false;
  }
  TagLib::PropertyMap props;
  props["TITLE"] = TagLib::StringList(tl(track.title));
  TagLib::StringList artists(tl(kArtists[album.artist].name));
  if (track.guest >= 0) artists.append(tl(kArtists[track.guest].name));
  props["ARTIST"] = artists;
  props["ALBUM"] = TagLib::StringList(tl(album.title));
  props["ALBUMARTIST"] = TagLib::StringList(tl(kArtists[album.artist].name));
  props["GENRE"] = TagLib::StringList(tl(album.genre));
  props["TRACKNUMBER"] = TagLib::StringList(tl(std::to_string(number) + "/" + std::to_string(albumTracks)));
  props["DATE"] = TagLib::StringList(tl("2024"));
  TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
  tag->setProperties(props);
  if (!cover.empty()) {
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setMimeType("image/jpeg");
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setPicture(TagLib::ByteVector(cover.data(), static_cast<unsigned int>(cover.size())));
    tag->addFrame(frame.release());  // the tag owns its frames
  }
  if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                 TagLib::File::DoNotDuplicate)) {
    if (error) *error = "cannot save tags of " + path;
    return false;
  }
  return true;
}

std::string lyricsText(const DemoTrack& track, const RenderedSong& song, std::uint32_t seed) {
  const DemoAlbum& album = kAlbums[track.album];
  std::string artists = kArtists[album.artist].name;
  if (track.guest >= 0) artists += " / " + std::string(kArtists[track.guest].name);
  std::string text = "[ti:" + std::string(track.title) + "]\n[ar:" + artists + "]\n[al:" + album.title + "]\n";
  text += lrcTime(0) + track.title + " - " + artists + "\n";
  const std::size_t poolSize = album.englishLyrics ? std::size(kEnglishLines) : std::size(kChineseLines);
  const std::size_t offset = seed % poolSize;
  for (std::size_t i = 0; i < song.phraseStarts.size(); ++i) {
    // Verses of two lines that come back as a refrain: lines 0 1 2 3 0 1 ...
    const std::size_t line = (offset + (i % 4)) % poolSize;
    text += lrcTime(song.phraseStarts[i]) + (album.englishLyrics ? kEnglishLines[line] : kChineseLines[line]) + "\n";
  }
  return text;
}

struct Job {
  const DemoTrack* track;
  int number;
  int albumTracks;
};

}  // namespace

int demoTrackCount(bool reduced) {
  int count = 0;
  for (const auto& t : kTracks)
    if (!reduced || t.reduced) ++count;
  return count;
}

bool generateDemoLibrary(const std::string& folder, const DemoOptions& options, std::string* error) {
  auto say = [&](const std::string& line) {
    if (options.progress) options.progress(line);
  };
  // Folders, covers and artist pictures first.
  std::vector<std::string> covers(std::size(kAlbums));
  for (std::size_t a = 0; a < std::size(kAlbums); ++a) {
    const DemoAlbum& album = kAlbums[a];
    const std::string dir = folder + "/" + albumFolder(album);
    if (!makeDirectories(dir, error)) return false;
    covers[a] = jpegBytes(paintCover(seedOf(album.title), kCoverSize));
    if (covers[a].empty()) {
      if (error) *error = "cannot encode a JPEG picture (Qt image plug-in missing?)";
      return false;
    }
    if (album.cover == CoverPlace::CoverJpg && !writeBytes(dir + "/cover.jpg", covers[a], error)) return false;
    if (album.cover == CoverPlace::FolderJpg && !writeBytes(dir + "/folder.jpg", covers[a], error)) return false;
  }
  for (const auto& artist : kArtists) {
    if (!artist.hasFolder) continue;
    const auto picture = jpegBytes(paintPortrait(seedOf(artist.name), kPortraitWidth, kPortraitHeight));
    if (!writeBytes(folder + "/" + artist.name + "/artist.jpg", picture, error)) return false;
  }

  std::vector<Job> jobs;
  for (std::size_t a = 0; a < std::size(kAlbums); ++a) {
    int number = 0;
    int inAlbum = 0;
    for (const auto& t : kTracks)
      if (t.album == static_cast<int>(a) && (!options.reduced || t.reduced)) ++inAlbum;
    for (const auto& t : kTracks) {
      if (t.album != static_cast<int>(a) || (options.reduced && !t.reduced)) continue;
      jobs.push_back({&t, ++number, inAlbum});
    }
  }

  std::mutex mutex;  // guards `done`, `failure` and the progress calls
  int done = 0;
  std::string failure;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t j = next++; j < jobs.size(); j = next++) {
      {
        std::lock_guard lock(mutex);
        if (!failure.empty()) return;
      }
      const Job& job = jobs[j];
      const DemoTrack& track = *job.track;
      const DemoAlbum& album = kAlbums[track.album];
      const std::uint32_t seed = seedOf(std::string(kArtists[album.artist].name) + "/" + track.title);
      SongRecipe recipe;
      recipe.seed = seed;
      recipe.bpm = album.bpm + (job.number * 3) % 10;
      recipe.rootMidi = album.key + (job.number * 5) % 7 - 3;
      recipe.minor = album.minor != (job.number % 3 == 0);
      recipe.style = album.style;
      recipe.seconds = options.reduced ? kReducedSeconds : track.seconds;
      const RenderedSong song = renderSong(recipe);
      std::string message;
      const bool pure = album.codec == DemoCodec::Pure;
      auto encoded =
          pure ? encodePureStereo(song.left, song.right, song.sampleRate, kPureDefaultRate, &message)
               : encodeStereo(song.left, song.right, song.sampleRate, album.codec, kBitRate, &message);
      const std::string base = folder + "/" + albumFolder(album) + "/" + trackStem(track, job.number);
      const std::string path = base + (pure ? ".pur" : album.codec == DemoCodec::Mp3 ? ".mp3" : ".aac");
      bool ok =
          encoded && writeBytes(path, *encoded, &message) &&
          (pure || tagFile(path, track, job.number, job.albumTracks,
                           album.cover == CoverPlace::Embedded ? covers[static_cast<std::size_t>(track.album)]
                                                               : std::string(),
                           &message)) &&
          (!track.lyrics || writeBytes(base + ".lrc", lyricsText(track, song, seed), &message));
      std::lock_guard lock(mutex);
      if (!ok) {
        if (failure.empty()) failure = message;
        return;
      }
      ++done;
      say("[" + std::to_string(done) + "/" + std::to_string(jobs.size()) + "] " + kArtists[album.artist].name +
          " - " + track.title);
    }
  };
  int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, 8);
  std::vector<std::thread> workers;
  for (int i = 1; i < threads; ++i) workers.emplace_back(work);
  work();
  for (auto& w : workers) w.join();
  if (!failure.empty()) {
    if (error) *error = failure;
    return false;
  }
  return true;
}

std::optional<std::string> ensureDemoLibrary(const std::string& dataDir, const DemoOptions& options, std::string* error) {
  const std::string target = dataDir + "/demo";
  // Two stations starting together on one data folder: the second waits for the first's library.
  if (!makeDirectories(dataDir, error)) return std::nullopt;
  const int lockFd = ::open((dataDir + "/demo.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd >= 0) ::flock(lockFd, LOCK_EX);
  struct Unlock {
    int fd;
    ~Unlock() {
      if (fd >= 0) ::close(fd);  // closing releases the lock
    }
  } unlock{lockFd};
  const std::string stamp = std::string(kDemoVersion) + (options.reduced ? " reduced" : " full") + "\n";
  if (auto marker = readFile(target + "/" + kMarkerName); marker && *marker == stamp) return target;

  const std::string scratch = dataDir + "/demo.partial";
  std::error_code ec;
  fs::remove_all(scratch, ec);
  if (options.progress) options.progress("generating the demo library in " + target);
  if (!generateDemoLibrary(scratch, options, error)) return std::nullopt;
  if (!writeFileAtomically(scratch + "/" + kMarkerName, stamp, error)) return std::nullopt;
  fs::remove_all(target, ec);
  fs::rename(scratch, target, ec);
  if (ec) {
    if (error) *error = "cannot move the demo library into place: " + ec.message();
    return std::nullopt;
  }
  return target;
}

}  // namespace tonvera::station
