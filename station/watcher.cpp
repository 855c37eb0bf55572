#include "station/watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>
#include <unordered_map>

namespace tonvera::station {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                     IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool hiddenName(const std::string& name) { return !name.empty() && name[0] == '.'; }

}  // namespace

struct FolderWatcher::Impl {
  Impl(std::string root, std::function<void()> changed)
      : root(std::move(root)), changed(std::move(changed)) {}

  // immutable after start()
  std::string root;
  std::function<void()> changed;
  int inotifyFd = -1;
  int wakeFd = -1;  // eventfd: rescanNow() and the destructor
  std::thread thread;

  std::atomic<bool> stopping{false};
  std::atomic<bool> rescanRequested{false};
  std::atomic<int> watched{0};
  bool limitReached = false;  // watcher thread only (and start() before it runs)

  // Watched folders by watch descriptor; watcher thread only (and start() before it runs).
  std::unordered_map<int, std::string> folders;

  // Watches `folder` and the visible folders below it (hidden ones are not served either).
  void watchTree(const std::string& folder) {
    addWatch(folder);
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
      std::error_code typeError;
      if (!it->is_directory(typeError) || it->is_symlink(typeError)) continue;
      if (hiddenName(it->path().filename().string())) {
        it.disable_recursion_pending();
        continue;
      }
      addWatch(it->path().string());
    }
  }

  void addWatch(const std::string& folder) {
    const int wd = ::inotify_add_watch(inotifyFd, folder.c_str(), kWatchMask);
    if (wd < 0) {
      if (errno == ENOSPC) limitReached = true;
      return;
    }
    // A folder moved out and back in keeps its watch: only its path is new.
    if (folders.insert_or_assign(wd, folder).second) ++watched;
  }

  void run();
  // Reads the waiting events; true when any of them is a change worth a rescan.
  bool readEvents();
};

bool FolderWatcher::Impl::readEvents() {
  alignas(inotify_event) char buffer[16 * 1024];
  bool any = false;
  for (;;) {
    const ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t pos = 0; pos < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + pos);
      pos += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {  // events were lost: watch everything afresh
        for (const auto& [wd, folder] : folders) ::inotify_rm_watch(inotifyFd, wd);
        folders.clear();
        watched = 0;
        watchTree(root);
        any = true;
        continue;
      }
      if (event->mask & IN_IGNORED) {  // the folder went away or was moved
        if (folders.erase(event->wd)) --watched;
        continue;
      }
      const std::string name = event->len ? std::string(event->name) : std::string();
      if (hiddenName(name)) continue;
      any = true;
      if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
        if (auto it = folders.find(event->wd); it != folders.end()) watchTree(it->second + "/" + name);
      }
    }
  }
  return any;
}

void FolderWatcher::Impl::run() {
  std::optional<Clock::time_point> first;  // of the burst being collected
  Clock::time_point last;
  for (;;) {
    int timeoutMs = -1;
    if (first) {
      const auto due = std::min(last + std::chrono::milliseconds(kWatchQuietMs),
                                *first + std::chrono::milliseconds(kWatchMaxDelayMs));
      timeoutMs = static_cast<int>(std::max<std::int64_t>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count()));
    }
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
    const int ready = ::poll(fds, inotifyFd >= 0 ? 2 : 1, timeoutMs);
    if (stopping) return;
    if (ready < 0 && errno != EINTR) return;
    bool now = false;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] auto got = ::read(wakeFd, &count, sizeof count);
      now = rescanRequested.exchange(false);
    }
    if (inotifyFd >= 0 && (fds[1].revents & POLLIN) && readEvents()) {
      last = Clock::now();
      if (!first) first = last;
    }
    const auto t = Clock::now();
    if (now || (first && (t >= last + std::chrono::milliseconds(kWatchQuietMs) ||
                          t >= *first + std::chrono::milliseconds(kWatchMaxDelayMs)))) {
      first.reset();
      changed();
    }
  }
}

FolderWatcher::FolderWatcher(std::string root, std::function<void()> changed)
    : impl_(std::make_unique<Impl>(std::move(root), std::move(changed))) {}

FolderWatcher::~FolderWatcher() {
  if (impl_->thread.joinable()) {
    impl_->stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(impl_->wakeFd, &one, sizeof one);
    impl_->thread.join();
  }
  if (impl_->inotifyFd >= 0) ::close(impl_->inotifyFd);
  if (impl_->wakeFd >= 0) ::close(impl_->wakeFd);
}

bool FolderWatcher::start(std::string* error) {
  impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->wakeFd < 0) {
    if (error) *error = std::string("cannot watch the folder: ") + std::strerror(errno);
    return false;
  }
  bool ok = true;
  impl_->inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (impl_->inotifyFd < 0) {
    if (error) *error = std::string("cannot watch the folder: ") + std::strerror(errno);
    ok = false;
  } else {
    impl_->watchTree(impl_->root);
    if (impl_->folders.empty()) {
      if (error) *error = "cannot watch " + impl_->root;
      ::close(impl_->inotifyFd);
      impl_->inotifyFd = -1;
      ok = false;
    } else if (impl_->limitReached && error) {
      *error = "not every folder is watched (the system's limit of inotify watches); kill -HUP rescans";
    }
  }
  impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
  return ok;
}

void FolderWatcher::rescanNow() {
  if (impl_->wakeFd < 0) return;
  impl_->rescanRequested = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(impl_->wakeFd, &one, sizeof one);
}

int FolderWatcher::watchedFolders() const { return impl_->watched.load(); }

}  // namespace tonvera::station
