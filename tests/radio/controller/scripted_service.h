// A scripted music service on 127.0.0.1 for the controller's tests: channel queues, the private
// channel, track records, MP3 streams (made at build time by ffmpeg), lyrics. Every request is
// logged with its time. Replies can be changed while the server runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/plist.h"
#include "test_server.h"

namespace tonvera::test {

struct ScriptedTrack {
  std::string id{}, name{}, artist{};
  std::string album = "专辑";
  // Paced: the long stream with a length, in 4 KiB writes four times faster than it plays, cut
  // when the service goes down.
  enum class Audio { Short, Long, Missing, Stall, NoUrl, Paced } audio = Audio::Short;
  std::optional<std::string> lrc{};  // LRC text served at /lrc/<id>
  bool lrcHeld = false;              // the reply waits for releaseLyrics(id)
};

struct LoggedRequest {
  std::string method, path, body, contentType;
  std::string range;  // the Range field, "" when none
};

class ScriptedService {
 public:
  ScriptedService();
  ~ScriptedService();

  // Sets TONVERA_SERVICE_URL to this server.
  void start();
  std::string url(const std::string& path = "") const { return server_.url(path); }

  void addTrack(ScriptedTrack track);
  // A channel's queue; `raw` replaces the JSON reply text (for example "[]" or "not json").
  void setChannel(const std::string& id, std::vector<std::string> tracks);
  void setChannelRaw(const std::string& id, std::string raw);
  void setPrivateTracks(std::vector<std::string> tracks);
  // The reply of "/radios/selected.json" (404 until set).
  void setCatalogue(std::string raw);
  // Lets the held lyrics reply of track `id` go out.
  void releaseLyrics(const std::string& id);
  // Down: every request is answered 503 (and logged), and paced streams are cut.
  void setDown(bool down);

  std::vector<LoggedRequest> requests() const;
  int count(const std::string& path) const;
  // Requests whose path starts with `prefix`.
  int countPrefix(const std::string& prefix) const;

 private:
  std::string trackRecord(const ScriptedTrack& t) const;
  void log(const httplib::Request& req);  // with mutex_ held

  TestServer server_;
  mutable std::mutex mutex_;
  // guarded by mutex_
  std::map<std::string, ScriptedTrack> tracks_;
  std::map<std::string, std::string> channels_;  // id -> reply text
  std::string privateReply_ = "{\"tracks\":[]}";
  std::optional<std::string> catalogue_;
  std::vector<LoggedRequest> log_;
  std::set<std::string> released_;  // tracks whose held lyrics may go out
  bool stopping_ = false;
  bool down_ = false;
  std::condition_variable stopped_;
  // immutable after construction
  std::string shortMp3_, longMp3_;
};

// A channel as the pages store it under the chosen-station key.
PlistValue channelRecord(const std::string& id, const std::string& name);
// A station change as the pages post it: the kind of change `key` with its value.
void postStationChange(const std::string& key, PlistValue value);

// Runs the main loop until `condition` holds; false after `timeout`.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(15));

}  // namespace tonvera::test
