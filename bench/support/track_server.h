// One MP3 made by ffmpeg once in the temporary folder (kept between runs) and served over
// loopback at /track, for the player's benchmarks. Range requests are answered: a seek sends one.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace tonvera::bench {

class TrackServer {
 public:
  // `ffmpegInput` stands between "ffmpeg -v error -y" and the output file: sources, filters, coder.
  TrackServer(const std::string& fileName, const std::string& ffmpegInput)
      : path_((std::filesystem::temp_directory_path() / fileName).string()) {
    if (!std::filesystem::exists(path_)) {
      const std::string cmd = "ffmpeg -v error -y " + ffmpegInput + " " + path_;
      if (std::system(cmd.c_str()) != 0) std::abort();
    }
    std::ifstream in(path_, std::ios::binary);
    body_.assign(std::istreambuf_iterator<char>(in), {});
    server_.Get("/track", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(body_, "audio/mpeg");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~TrackServer() {
    server_.stop();
    thread_.join();
  }
  TrackServer(const TrackServer&) = delete;
  TrackServer& operator=(const TrackServer&) = delete;

  const std::string& path() const { return path_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/track"; }

 private:
  std::string path_;
  std::string body_;
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace tonvera::bench
