// The station on a real music folder: files that hold no audio and covers that do not decode are
// kept out, changes to the folder reach the catalogue while streams go on, and slow clients do not
// hold up the others.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/fileutil.h"
#include "station/audioformats.h"
#include "station/scanner.h"
#include "station/watcher.h"
#include "station_fixture.h"
#include "temp_home.h"

namespace tonvera::station {
namespace {

namespace fs = std::filesystem;
using test::RunningStation;
using tonvera::test::writeTextFile;

// The first MP3 file of the demo library.
const std::string& demoMp3() {
  for (const auto& t : test::demoLibrary()->tracks())
    if (t.format == AudioFormat::Mp3) return t.path;
  throw std::runtime_error("no MP3 in the demo library");
}

std::string bytesOf(const std::string& path) { return readFile(path).value_or(std::string()); }

// A fresh folder under the scratch folder.
std::string freshFolder(const std::string& name) {
  const std::string path = test::scratchFolder() + "/" + name;
  fs::remove_all(path);
  fs::create_directories(path);
  return path;
}

// The audio of the MP3 file `path` without its tags, `copies` times over: names come from the
// path, and many copies make a long valid stream.
std::string untaggedMp3(const std::string& path, int copies = 1) {
  const std::string bytes = bytesOf(path);
  const auto tag = static_cast<std::size_t>(id3v2TagSize(bytes).value_or(0));
  std::string out;
  for (int i = 0; i < copies; ++i) out.append(bytes, tag, std::string::npos);
  return out;
}

TEST(StationRealFolder, FilesWithoutAudioAreNotTracks) {
  const std::string tagged = bytesOf(demoMp3());
  const std::pair<const char*, std::string> cases[] = {
      {"empty.mp3", ""},
      // The tags and less than two frames of audio: TagLib still reports the length of the whole.
      {"truncated.mp3", tagged.substr(0, *id3v2TagSize(tagged) + 100)},
      {"notes.mp3", "shopping list\nmilk\ntea\n"},
      {"silence.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16)},
  };
  const std::string root = freshFolder("nonaudio");
  writeTextFile(root + "/Band/Album/01 Good.mp3", untaggedMp3(demoMp3()));
  for (const auto& [name, bytes] : cases) writeTextFile(root + "/Band/Album/" + name, bytes);

  ScanStats stats;
  auto lib = scanLibrary(root, "", &stats);
  ASSERT_TRUE(lib);
  ASSERT_EQ(lib->tracks().size(), 1u);
  EXPECT_EQ(lib->tracks()[0].title, "Good");
  EXPECT_EQ(stats.unreadable, std::size(cases));
  std::set<std::string> named;
  for (const auto& u : stats.unreadableFiles) named.insert(fs::path(u.relPath).filename().string());
  for (const auto& c : cases) EXPECT_TRUE(named.count(c.first)) << c.first;
}

TEST(StationRealFolder, CoversThatDoNotDecodeAreServedAsAbsent) {
  const std::string root = freshFolder("badcover");
  const std::string& mp3 = demoMp3();
  writeTextFile(root + "/Band/Broken/01 One.mp3", untaggedMp3(mp3));
  writeTextFile(root + "/Band/Broken/cover.jpg", std::string("\xFF\xD8\xFF\xE0") + " not really a JPEG");
  writeTextFile(root + "/Band/Empty/01 Two.mp3", untaggedMp3(mp3));
  writeTextFile(root + "/Band/Empty/cover.jpg", "");
  auto lib = scanLibrary(root, "", nullptr);
  ASSERT_TRUE(lib);
  ASSERT_EQ(lib->albums().size(), 2u);
  RunningStation station(lib);
  auto client = station.client();
  for (const auto& album : lib->albums()) {
    auto res = client->Get(("/pictures/albums/" + album.id).c_str());
    ASSERT_TRUE(res) << album.name;
    EXPECT_EQ(res->status, 200) << album.name;
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/png") << album.name;  // painted instead
  }
}

TEST(StationRealFolder, AddedAndRemovedFilesReachTheCatalogueWhileAStreamGoesOn) {
  const std::string root = freshFolder("live");
  const std::string& mp3 = demoMp3();
  // Large enough that the stream cannot sit whole in the socket buffers when the file goes.
  const std::string leaving = untaggedMp3(mp3, 400);
  writeTextFile(root + "/Band/Album/01 Leaving.mp3", leaving);
  writeTextFile(root + "/Band/Album/02 Staying.mp3", untaggedMp3(mp3));

  LibraryScanner scanner(root, "");
  RunningStation station(scanner.scan());
  std::mutex mutex;
  std::condition_variable rescanned;
  FolderWatcher watcher(root, [&] {
    auto lib = scanner.scan();
    std::lock_guard lock(mutex);
    if (lib) station.server().setLibrary(lib);
    rescanned.notify_all();
  });
  ASSERT_TRUE(watcher.start());
  auto titles = [&] {
    std::set<std::string> names;
    for (const auto& t : station.server().library()->tracks()) names.insert(t.title);
    return names;
  };
  ASSERT_EQ(titles(), (std::set<std::string>{"Leaving", "Staying"}));

  // A stream of the file about to go: its head and the first bytes.
  const auto& track = station.server().library()->tracks()[0];
  const int fd =
      test::openRequest(station.port(), "GET /streams/" + track.id +
                                            ".mp3 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  ASSERT_GE(fd, 0);
  std::string response = test::receive(fd, 64 * 1024);
  const auto headEnd = response.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos);
  ASSERT_NE(response.find("Content-Length: " + std::to_string(leaving.size()) + "\r\n"), std::string::npos);

  fs::remove(root + "/Band/Album/01 Leaving.mp3");
  writeTextFile(root + "/Band/Album/03 Arriving.mp3", untaggedMp3(mp3));
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(rescanned.wait_for(lock, std::chrono::seconds(20), [&] {
      return titles() == std::set<std::string>{"Staying", "Arriving"};
    }));
  }
  // The stream goes on to its end, byte for byte.
  response += test::receive(fd, headEnd + 4 + leaving.size() - response.size());
  ::close(fd);
  EXPECT_EQ(response.size(), headEnd + 4 + leaving.size());
  EXPECT_TRUE(response.compare(headEnd + 4, std::string::npos, leaving) == 0);
}

TEST(StationRealFolder, SlowClientsDoNotHoldUpTheOthers) {
  const std::string root = freshFolder("slow");
  const std::string& mp3 = demoMp3();
  const std::string big = untaggedMp3(mp3, 200);
  writeTextFile(root + "/Band/Album/01 Long.mp3", big);
  RunningStation station(scanLibrary(root, ""));
  const auto& track = station.server().library()->tracks()[0];

  // 50 players streaming, each having read only the start.
  std::vector<int> streams;
  for (int i = 0; i < 50; ++i) {
    const int fd = test::openRequest(station.port(),
                                     "GET /streams/" + track.id + ".mp3 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(test::receive(fd, 1024).size(), 1024u);
    streams.push_back(fd);
  }
  // 150 clients that send half a request and wait.
  std::vector<int> slow;
  for (int i = 0; i < 150; ++i) {
    slow.push_back(test::openRequest(station.port(), "GET /radios/selected.json HTTP/1.1\r\nHo"));
    ASSERT_GE(slow.back(), 0);
  }

  // A well-behaved client is answered at once.
  auto client = station.client();
  client->set_connection_timeout(1, 0);
  client->set_read_timeout(1, 0);
  EXPECT_EQ(test::statusOf(client->Get("/radios/selected.json")), 200);
  // Long URLs are still refused.
  EXPECT_EQ(test::statusOf(client->Get(("/radios/selected.json?q=" + std::string(10000, 'a')).c_str())), 414);
  // The streams still flow, and the slow clients are still there.
  for (int fd : streams) EXPECT_EQ(test::receive(fd, 64 * 1024).size(), 64u * 1024);
  EXPECT_GE(station.server().waitingConnections(), 150);
  for (int fd : streams) ::close(fd);
  for (int fd : slow) ::close(fd);
}

}  // namespace
}  // namespace tonvera::station
