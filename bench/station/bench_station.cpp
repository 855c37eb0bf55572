// The library scan of a 10,000-file folder: every file read (a first start, or a cold index), every
// file taken from the index (the rescan after a change), the audio check alone, and the time from
// a file copied into the watched folder to its appearance in the library.
//
// The folder is made of hard links to the MP3 files of the reduced demo library, 100 folders of
// 100 files, in a temporary folder removed at exit; the files are in the page cache.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "station/audioformats.h"
#include "station/demo.h"
#include "station/scanner.h"
#include "station/watcher.h"

namespace {

namespace fs = std::filesystem;
using namespace tonvera::station;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;

struct BigFolder {
  QTemporaryDir temp;
  std::string root;
  std::vector<std::string> mp3s;  // of the demo library
  std::vector<std::string> files;

  BigFolder() {
    const std::string base = temp.path().toStdString();
    DemoOptions options;
    options.reduced = true;
    std::string error;
    if (!generateDemoLibrary(base + "/demo", options, &error)) throw std::runtime_error(error);
    for (const auto& entry : fs::recursive_directory_iterator(base + "/demo"))
      if (entry.path().extension() == ".mp3") mp3s.push_back(entry.path().string());
    root = base + "/big";
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = root + "/Artist " + std::to_string(f) + "/Album";
      fs::create_directories(folder);
      for (int n = 0; n < kFilesPerFolder; ++n) {
        const std::string path = folder + "/" + std::to_string(n) + " Song.mp3";
        fs::create_hard_link(mp3s[static_cast<std::size_t>(f * kFilesPerFolder + n) % mp3s.size()], path);
        files.push_back(path);
      }
    }
  }
};

BigFolder& bigFolder() {
  static BigFolder folder;
  return folder;
}

void BM_ScanReadingEveryFile(benchmark::State& state) {
  auto& folder = bigFolder();
  for (auto _ : state) {
    ScanStats stats;
    auto lib = scanLibrary(folder.root, "", &stats);
    if (!lib || lib->tracks().size() != folder.files.size()) state.SkipWithError("not every file is a track");
  }
  state.counters["files"] = static_cast<double>(folder.files.size());
}
BENCHMARK(BM_ScanReadingEveryFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RescanThroughTheIndex(benchmark::State& state) {
  auto& folder = bigFolder();
  LibraryScanner scanner(folder.root, "");
  scanner.scan();
  for (auto _ : state) {
    ScanStats stats;
    auto lib = scanner.scan(&stats);
    if (!lib || stats.read != 0) state.SkipWithError("files were read again");
  }
}
BENCHMARK(BM_RescanThroughTheIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AudioCheckAlone(benchmark::State& state) {
  auto& folder = bigFolder();
  for (auto _ : state) {
    for (const auto& path : folder.files)
      if (!hasMpegAudioFrames(path)) state.SkipWithError("no frames");
  }
}
BENCHMARK(BM_AudioCheckAlone)->Unit(benchmark::kMillisecond)->Iterations(3);

// From the end of a copy into the watched folder to the rescanned library holding the new track.
void BM_CopiedFileToCatalogue(benchmark::State& state) {
  auto& folder = bigFolder();
  LibraryScanner scanner(folder.root, "");
  std::mutex mutex;
  std::condition_variable rescanned;
  std::size_t tracks = scanner.scan()->tracks().size();
  FolderWatcher watcher(folder.root, [&] {
    auto lib = scanner.scan();
    std::lock_guard lock(mutex);
    tracks = lib->tracks().size();
    rescanned.notify_all();
  });
  if (!watcher.start()) state.SkipWithError("cannot watch");
  const std::string added = folder.root + "/Artist 0/Album/new.mp3";
  for (auto _ : state) {
    std::unique_lock lock(mutex);
    const std::size_t before = tracks;
    lock.unlock();
    const auto start = std::chrono::steady_clock::now();
    fs::copy_file(folder.mp3s[0], added);
    lock.lock();
    if (!rescanned.wait_for(lock, std::chrono::seconds(30), [&] { return tracks == before + 1; }))
      state.SkipWithError("the copy did not appear");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    lock.unlock();
    fs::remove(added);
    lock.lock();
    rescanned.wait_for(lock, std::chrono::seconds(30), [&] { return tracks == before; });
  }
}
BENCHMARK(BM_CopiedFileToCatalogue)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
