#include "main_loop.h"
#include "scripted_service.h"

#include <algorithm>
#include <cstdlib>

#include "platform/fileutil.h"
#include "platform/notificationcenter.h"
#include "radio/mainviewcontroller.h"
#include "service/plistconvert.h"

namespace tonvera::test {

namespace {

std::string quoted(const std::string& s) {
  std::string out;
  appendJsonString(out, s);
  return out;
}

std::string tracksReply(const std::vector<std::string>& ids) {
  std::string out = "{\"tracks\":[";
  for (std::size_t i = 0; i < ids.size(); ++i) out += (i ? "," : "") + quoted(ids[i]);
  return out + "]}";
}

}  // namespace

PlistValue channelRecord(const std::string& id, const std::string& name) {
  return PlistValue(PlistValue::Dict{{"id", PlistValue(id)}, {"name", PlistValue(name)}});
}

void postStationChange(const std::string& key, PlistValue value) {
  NotificationCenter::defaultCenter().post(kStationChangedNotification, nullptr,
                                           PlistValue(PlistValue::Dict{{key, std::move(value)}}));
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return runMainLoopUntil(condition, timeout);
}

ScriptedService::ScriptedService()
    : shortMp3_(readFile(TONVERA_TEST_MP3_SHORT).value_or("")),
      longMp3_(readFile(TONVERA_TEST_MP3_LONG).value_or("")) {
  auto& http = server_.http();
  // Every request is logged before its route (a POST by its route, which has read the body); while
  // down, each is answered 503.
  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    if (down_ || req.method != "POST") log(req);
    if (!down_) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 503;
    res.set_content("down", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  });
  http.Get("/radios/selected.json", [this](const httplib::Request&, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    if (!catalogue_) return void(res.status = 404);
    res.set_content(*catalogue_, "application/json");
  });
  http.Get(R"(/radios/([^/]+)/play\.json)", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    auto it = channels_.find(req.matches[1]);
    if (it == channels_.end()) return void(res.status = 404);
    res.set_content(it->second, "application/json");
  });
  http.Post("/radios/play", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    log(req);
    res.set_content(privateReply_, "application/json");
  });
  http.Get(R"(/tracks/([^/]+)/play\.json)", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    auto it = tracks_.find(req.matches[1]);
    if (it == tracks_.end()) return void(res.status = 404);
    res.set_content(trackRecord(it->second), "application/json");
  });
  http.Get(R"(/audio/([^/]+)\.mp3)", [this](const httplib::Request& req, httplib::Response& res) {
    ScriptedTrack::Audio audio;
    {
      std::lock_guard lock(mutex_);
      auto it = tracks_.find(req.matches[1]);
      audio = it == tracks_.end() ? ScriptedTrack::Audio::Missing : it->second.audio;
    }
    switch (audio) {
      case ScriptedTrack::Audio::Short:
      case ScriptedTrack::Audio::Long:
        // The library answers range requests of whole contents; say so, as a music server does.
        res.set_header("Accept-Ranges", "bytes");
        res.set_content(audio == ScriptedTrack::Audio::Short ? shortMp3_ : longMp3_, "audio/mpeg");
        break;
      case ScriptedTrack::Audio::Paced:
        res.set_content_provider(
            longMp3_.size(), "audio/mpeg", [this](size_t offset, size_t length, httplib::DataSink& sink) {
              {
                std::unique_lock lock(mutex_);
                // A quarter of a second per write (4 KiB is a second of the 32 kbit/s tone).
                if (offset > 0)
                  stopped_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; });
                if (down_ || stopping_) return false;
              }
              return sink.write(longMp3_.data() + offset, std::min<size_t>(length, 4096));
            });
        break;
      case ScriptedTrack::Audio::Stall:
        // Headers, then no byte at all until the server goes away.
        res.set_content_provider(longMp3_.size(), "audio/mpeg", [this](size_t, size_t, httplib::DataSink&) {
          std::unique_lock lock(mutex_);
          stopped_.wait_for(lock, std::chrono::seconds(30), [this] { return stopping_; });
          return false;
        });
        break;
      default:
        res.status = 404;
        break;
    }
  });
  http.Get(R"(/lrc/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
    std::optional<std::string> text;
    {
      std::unique_lock lock(mutex_);
      const std::string id = req.matches[1];
      auto it = tracks_.find(id);
      if (it != tracks_.end()) {
        text = it->second.lrc;
        if (it->second.lrcHeld) {
          stopped_.wait_for(lock, std::chrono::seconds(30),
                            [&] { return stopping_ || released_.count(id) != 0; });
        }
      }
    }
    if (!text) return void(res.status = 404);
    res.set_content(*text, "text/plain; charset=utf-8");
  });
  // Pictures: none (the lookups deliver nothing).
  http.Get(R"(/(albums|artists)/.*)",
           [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
}

ScriptedService::~ScriptedService() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopped_.notify_all();
  server_.stop();
}

void ScriptedService::releaseLyrics(const std::string& id) {
  {
    std::lock_guard lock(mutex_);
    released_.insert(id);
  }
  stopped_.notify_all();
}

void ScriptedService::setDown(bool down) {
  std::lock_guard lock(mutex_);
  down_ = down;
}

void ScriptedService::log(const httplib::Request& req) {
  log_.push_back(
      {req.method, req.path, req.body, req.get_header_value("Content-Type"), req.get_header_value("Range")});
}

void ScriptedService::start() {
  server_.start();
  setenv("TONVERA_SERVICE_URL", server_.url().c_str(), 1);
}

std::string ScriptedService::trackRecord(const ScriptedTrack& t) const {
  std::string out = "{\"id\":" + quoted(t.id) + ",\"name\":" + quoted(t.name);
  out += ",\"artist\":[{\"id\":" + quoted("ar" + t.id) + ",\"name\":" + quoted(t.artist) + "}]";
  out += ",\"album\":{\"id\":" + quoted("album" + t.id) + ",\"name\":" + quoted(t.album) + "}";
  if (t.audio != ScriptedTrack::Audio::NoUrl)
    out += ",\"url\":[" + quoted(server_.url("/audio/" + t.id + ".mp3")) + "]";
  out += ",\"lrc\":[[\"x\",\"y\"," + quoted(server_.url("/lrc/" + t.id)) + "]]}";
  return out;
}

void ScriptedService::addTrack(ScriptedTrack track) {
  std::lock_guard lock(mutex_);
  tracks_[track.id] = std::move(track);
}

void ScriptedService::setChannel(const std::string& id, std::vector<std::string> tracks) {
  setChannelRaw(id, tracksReply(tracks));
}

void ScriptedService::setChannelRaw(const std::string& id, std::string raw) {
  std::lock_guard lock(mutex_);
  channels_[id] = std::move(raw);
}

void ScriptedService::setPrivateTracks(std::vector<std::string> tracks) {
  std::lock_guard lock(mutex_);
  privateReply_ = tracksReply(tracks);
}

void ScriptedService::setCatalogue(std::string raw) {
  std::lock_guard lock(mutex_);
  catalogue_ = std::move(raw);
}

std::vector<LoggedRequest> ScriptedService::requests() const {
  std::lock_guard lock(mutex_);
  return log_;
}

int ScriptedService::count(const std::string& path) const {
  const auto all = requests();
  return static_cast<int>(
      std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.path == path; }));
}

int ScriptedService::countPrefix(const std::string& prefix) const {
  const auto all = requests();
  return static_cast<int>(
      std::count_if(all.begin(), all.end(), [&](const auto& r) { return r.path.starts_with(prefix); }));
}

}  // namespace tonvera::test
