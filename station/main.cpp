// tonvera-station: serves a music folder (or a generated demo library) to Tonvera players over
// the service's REST endpoints. Stops on SIGINT/SIGTERM. Rescans the folder when files in it are
// added, removed or changed (and on SIGHUP).

#include <QCoreApplication>

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/g719/pure_writer.h"
#include "platform/fileutil.h"
#include "station/demo.h"
#include "station/purecache.h"
#include "station/scanner.h"
#include "station/server.h"
#include "station/watcher.h"

using namespace tonvera;
using namespace tonvera::station;

namespace {

void usage(FILE* out) {
  std::fprintf(
      out,
      "usage: tonvera-station [--library DIR] [--bind ADDR] [--port N] [--data DIR] [--threads N]\n"
      "                       [--pure [R]] [--quiet]\n"
      "  --library DIR  music folder to serve (default: a demo library generated on first use)\n"
      "  --bind ADDR    address to listen on (default %s)\n"
      "  --port N       port (default %d; 0 picks a free one)\n"
      "  --data DIR     index, demo library and report log (default $XDG_DATA_HOME/tonvera-station)\n"
      "  --threads N    request worker threads (default %d)\n"
      "  --pure [R]     also offer every track as PURE at R kbit/s per channel (even, 2..128; default %d),\n"
      "                 coded on first request into DIR/pure (at most %llu MiB; least recently used go first)\n"
      "  --quiet        no request log (by default one line per request on standard error: time, client,\n"
      "                 method, path, status, body bytes, duration)\n",
      kDefaultBindAddress, kDefaultPort, kWorkerThreads, kPureDefaultRate,
      static_cast<unsigned long long>(kPureCacheMaxBytes >> 20));
}

std::string defaultDataDir() {
  if (auto xdg = environment("XDG_DATA_HOME")) return *xdg + "/tonvera-station";
  return homeDirectory() + "/.local/share/tonvera-station";
}

bool parseInt(const char* text, int lo, int hi, int* out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || value < lo || value > hi) return false;
  *out = static_cast<int>(value);
  return true;
}

// One line for each unreadable file; after a rescan only for those it read (the others were named
// before).
void logUnreadable(const ScanStats& stats, bool onlyReadNow) {
  for (const auto& file : stats.unreadableFiles)
    if (!onlyReadNow || file.readNow)
      std::fprintf(stderr, "tonvera-station: unreadable, not served: %s\n", file.relPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Signals are taken by one thread with sigwait(); block them before any other thread exists.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  QCoreApplication app(argc, argv);  // Qt's image plug-ins (JPEG) are found through it

  std::string library;
  std::string dataDir;
  StationOptions options;
  options.requestLog = [](const std::string& line) { std::fprintf(stderr, "tonvera-station: %s\n", line.c_str()); };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else if (arg == "--quiet") {
      options.requestLog = nullptr;
    } else if (arg == "--library" && hasValue) {
      library = argv[++i];
    } else if (arg == "--data" && hasValue) {
      dataDir = argv[++i];
    } else if (arg == "--bind" && hasValue) {
      options.bindAddress = argv[++i];
    } else if (arg == "--port" && hasValue) {
      if (!parseInt(argv[++i], 0, 65535, &options.port)) {
        std::fprintf(stderr, "tonvera-station: bad port: %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "--pure") {
      options.pureRate = kPureDefaultRate;
      if (hasValue && argv[i + 1][0] != '-') {
        if (!parseInt(argv[++i], 2, 128, &options.pureRate) || options.pureRate % 2 != 0) {
          std::fprintf(stderr, "tonvera-station: bad PURE rate: %s (an even number from 2 to 128)\n",
                       argv[i]);
          return 2;
        }
      }
    } else if (arg == "--threads" && hasValue) {
      if (!parseInt(argv[++i], 1, 1024, &options.threads)) {
        std::fprintf(stderr, "tonvera-station: bad thread count: %s\n", argv[i]);
        return 2;
      }
    } else {
      usage(stderr);
      return 2;
    }
  }
  if (dataDir.empty()) dataDir = defaultDataDir();
  std::string error;
  if (!makeDirectories(dataDir, &error)) {
    std::fprintf(stderr, "tonvera-station: cannot create %s: %s\n", dataDir.c_str(), error.c_str());
    return 1;
  }
  options.dataDir = dataDir;

  if (library.empty()) {
    DemoOptions demo;
    demo.progress = [](const std::string& line) { std::fprintf(stderr, "tonvera-station: %s\n", line.c_str()); };
    auto folder = ensureDemoLibrary(dataDir, demo, &error);
    if (!folder) {
      std::fprintf(stderr, "tonvera-station: cannot generate the demo library: %s\n", error.c_str());
      return 1;
    }
    library = *folder;
  }

  LibraryScanner scanner(library, indexPathFor(dataDir, library));
  ScanStats stats;
  auto lib = scanner.scan(&stats, &error);
  if (!lib) {
    std::fprintf(stderr, "tonvera-station: %s\n", error.c_str());
    return 1;
  }
  logUnreadable(stats, false);
  std::fprintf(stderr, "tonvera-station: %zu tracks, %zu artists, %zu albums, %zu channels from %s (%zu read, %zu from the index, %zu unreadable)\n",
               lib->tracks().size(), lib->artists().size(), lib->albums().size(), lib->channels().size(),
               library.c_str(), stats.read, stats.fromIndex, stats.unreadable);

  StationServer server(lib, options);
  if (!server.bind(&error)) {
    std::fprintf(stderr, "tonvera-station: %s\n", error.c_str());
    return 1;
  }
  std::fprintf(stderr, "tonvera-station: listening on http://%s:%d\n", options.bindAddress.c_str(), server.port());

  // Rescans run on the watcher's thread, one at a time; streams already being served go on with
  // the files they opened.
  FolderWatcher watcher(library, [&] {
    ScanStats again;
    std::string scanError;
    if (auto fresh = scanner.scan(&again, &scanError)) {
      server.setLibrary(fresh);
      logUnreadable(again, true);
      std::fprintf(stderr,
                   "tonvera-station: rescanned: %zu tracks, %zu channels (%zu read, %zu unreadable)\n",
                   fresh->tracks().size(), fresh->channels().size(), again.read, again.unreadable);
    } else {
      std::fprintf(stderr, "tonvera-station: rescan failed: %s\n", scanError.c_str());
    }
  });
  if (std::string watchError; !watcher.start(&watchError) || !watchError.empty())
    std::fprintf(stderr, "tonvera-station: %s\n", watchError.c_str());

  std::thread signalThread([&] {
    for (;;) {
      int sig = 0;
      if (sigwait(&signals, &sig) != 0) continue;
      if (sig == SIGHUP) {
        watcher.rescanNow();
        continue;
      }
      server.stop();
      return;
    }
  });
  server.listen();
  // listen() also returns when serving failed; make sure the signal thread ends either way.
  pthread_kill(signalThread.native_handle(), SIGTERM);
  signalThread.join();
  std::fprintf(stderr, "tonvera-station: stopped\n");
  return 0;
}
