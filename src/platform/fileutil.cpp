#include "platform/fileutil.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace tonvera {

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(out).str();
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  const std::string tmp = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(rng() % 1000000);
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " " + tmp + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  };
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = "cannot create " + tmp + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return fail("cannot write");
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    return fail("cannot flush");
  }
  if (::close(fd) != 0) return fail("cannot close");
  if (::rename(tmp.c_str(), path.c_str()) != 0) return fail("cannot rename");
  return true;
}

std::optional<std::string> moveAside(const std::string& path, const std::string& suffix) {
  std::string target = path + suffix;
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) target += "-" + std::to_string(std::time(nullptr));
  for (int i = 1; ::lstat(target.c_str(), &st) == 0 && i < 1000; ++i) {
    target = path + suffix + "-" + std::to_string(std::time(nullptr)) + "-" + std::to_string(i);
  }
  if (::rename(path.c_str(), target.c_str()) != 0) return std::nullopt;
  return target;
}

bool makeDirectories(const std::string& path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) {
    // Another caller may have created it in the meantime.
    if (std::filesystem::is_directory(path)) return true;
    if (error) *error = ec.message();
    return false;
  }
  if (!std::filesystem::is_directory(path)) {
    if (error) *error = "not a folder: " + path;
    return false;
  }
  return true;
}

std::optional<std::string> environment(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

std::string homeDirectory() {
  if (auto home = environment("HOME")) return *home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/tmp";
}

}  // namespace tonvera
