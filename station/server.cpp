#include "station/server.h"

#include <httplib.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <charconv>
#include <csignal>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/fileutil.h"
#include "station/filestream.h"
#include "station/gatedserver.h"
#include "station/ids.h"
#include "station/painter.h"
#include "station/purecache.h"
#include "station/queues.h"
#include "station/records.h"
#include "station/search.h"
#include "station/tagreader.h"
#include "station/text.h"

namespace tonvera::station {

namespace {

void sendJson(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(toText(body), "application/json; charset=utf-8");
}

void sendError(httplib::Response& res, int status, const std::string& message) {
  sendJson(res, status, Json{{"error", message}});
}

// A non-negative decimal no larger than `max`; nothing for anything else.
std::optional<std::size_t> parseCount(const std::string& text, std::size_t max) {
  std::size_t value = 0;
  if (text.empty() || text.size() > 9) return std::nullopt;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

// Reads a request body of at most kMaxBodyBytes; nothing when it is larger or broken off.
std::optional<std::string> readBody(const httplib::ContentReader& reader) {
  std::string body;
  bool tooLarge = false;
  const bool ok = reader([&](const char* data, std::size_t length) {
    if (body.size() + length > kMaxBodyBytes) {
      tooLarge = true;
      return false;
    }
    body.append(data, length);
    return true;
  });
  if (!ok || tooLarge) return std::nullopt;
  return body;
}

}  // namespace

std::string statsLogPath(const std::string& dataDir) { return dataDir + "/stats.log"; }

struct StationServer::Impl {
  Impl(std::shared_ptr<const Library> library, StationOptions options)
      : options(std::move(options)),
        http(this->options.threads > 0 ? this->options.threads : kWorkerThreads),
        picker(this->options.seed),
        library_(std::move(library)) {
    if (this->options.pureRate > 0 && !this->options.dataDir.empty())
      pure = std::make_unique<PureCache>(this->options.dataDir + "/pure", this->options.pureRate);
  }

  // immutable after construction
  StationOptions options;
  GatedServer http;
  int boundPort = 0;
  std::atomic<int> openStreams{0};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> inListen{false};
  int listenSocket = -1;  // set while binding
  QueuePicker picker;  // locks itself
  std::unique_ptr<PureCache> pure;  // --pure: PURE versions of the tracks (locks itself)

  std::shared_ptr<const Library> library() const {
    std::lock_guard lock(libraryMutex_);
    return library_;
  }
  void setLibrary(std::shared_ptr<const Library> library) {
    std::lock_guard lock(libraryMutex_);
    library_ = std::move(library);
  }

  std::string base(const httplib::Request& req) const {
    return baseUrlFor(req.get_header_value("Host"), options.bindAddress.find(':') != std::string::npos
                                                         ? "[" + options.bindAddress + "]:" + std::to_string(boundPort)
                                                         : options.bindAddress + ":" + std::to_string(boundPort));
  }

  void routes();

  // Handlers. `lib` is the library this request started with.
  void catalogue(const httplib::Request&, httplib::Response&);
  void channelQueue(const httplib::Request&, httplib::Response&);
  void privateChannel(const httplib::Request&, httplib::Response&, const httplib::ContentReader&);
  void channelImages(const httplib::Request&, httplib::Response&);
  void trackRecord(const httplib::Request&, httplib::Response&);
  void albumImages(const httplib::Request&, httplib::Response&);
  void artistImages(const httplib::Request&, httplib::Response&);
  void searchCatalogue(const httplib::Request&, httplib::Response&);
  void similar(const httplib::Request&, httplib::Response&);
  void stats(const httplib::Request&, httplib::Response&, const httplib::ContentReader&);
  void stream(const httplib::Request&, httplib::Response&);
  void lyrics(const httplib::Request&, httplib::Response&);
  void picture(const httplib::Request&, httplib::Response&);

  // Serves a picture from its source, or paints one (kept in a small cache).
  void sendPicture(const httplib::Request& req, httplib::Response& res, const PictureSource& source,
                   const std::string& cacheKey, const std::function<QImage()>& paint);
  // Whether the picture file decodes (a broken one is served as if there were none).
  bool pictureFileDecodes(const std::string& path);

 private:
  mutable std::mutex libraryMutex_;
  std::shared_ptr<const Library> library_;  // guarded by libraryMutex_

  std::mutex pictureMutex_;
  std::map<std::string, std::shared_ptr<const std::string>> painted_;  // guarded by pictureMutex_

  std::mutex statsMutex_;  // serialises appends to the report log

  // Whether a picture file decodes, remembered by path with the size and time it had.
  struct PictureVerdict {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool decodes = false;
  };
  std::mutex verdictMutex_;
  std::map<std::string, PictureVerdict> verdicts_;  // guarded by verdictMutex_
};

bool StationServer::Impl::pictureFileDecodes(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const PictureVerdict now{static_cast<std::uint64_t>(st.st_size),
                           static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                           false};
  {
    std::lock_guard lock(verdictMutex_);
    if (auto it = verdicts_.find(path);
        it != verdicts_.end() && it->second.size == now.size && it->second.mtimeNs == now.mtimeNs)
      return it->second.decodes;
  }
  PictureVerdict verdict = now;
  if (now.size <= kMaxPictureFileBytes) {
    if (auto bytes = readFile(path)) verdict.decodes = pictureDecodes(*bytes);
  }
  std::lock_guard lock(verdictMutex_);
  if (verdicts_.size() >= kPictureCacheEntries) verdicts_.clear();
  verdicts_[path] = verdict;
  return verdict.decodes;
}

// The id in match group `group`: 400 when it is not an id at all.
static std::optional<std::string> idFrom(const httplib::Request& req, httplib::Response& res, int group = 1) {
  std::string id = req.matches[group];
  if (!isWellFormedId(id)) {
    sendError(res, 400, "malformed id");
    return std::nullopt;
  }
  return id;
}

void StationServer::Impl::routes() {
  using Req = const httplib::Request&;
  using Res = httplib::Response&;
  http.Get("/radios/selected.json", [this](Req q, Res s) { catalogue(q, s); });
  http.Get(R"(/radios/([^/]+)/play\.json)", [this](Req q, Res s) { channelQueue(q, s); });
  http.Post("/radios/play",
            [this](Req q, Res s, const httplib::ContentReader& r) { privateChannel(q, s, r); });
  http.Get(R"(/radios/([^/]+)/images\.json)", [this](Req q, Res s) { channelImages(q, s); });
  http.Get(R"(/(tracks|artists|albums)/search\.json)", [this](Req q, Res s) { searchCatalogue(q, s); });
  http.Get(R"(/tracks/([^/]+)/play\.json)", [this](Req q, Res s) { trackRecord(q, s); });
  http.Get(R"(/albums/([^/]+)/images\.json)", [this](Req q, Res s) { albumImages(q, s); });
  http.Get(R"(/artists/([^/]+)/images)", [this](Req q, Res s) { artistImages(q, s); });
  http.Get(R"(/artists/([^/]+)/similar)", [this](Req q, Res s) { similar(q, s); });
  http.Post("/stats", [this](Req q, Res s, const httplib::ContentReader& r) { stats(q, s, r); });
  http.Get(R"(/streams/([^/]+)\.([a-z0-9]+))", [this](Req q, Res s) { stream(q, s); });
  http.Get(R"(/lyrics/([^/]+)\.lrc)", [this](Req q, Res s) { lyrics(q, s); });
  http.Get(R"(/pictures/(albums|artists|channels)/([^/]+))", [this](Req q, Res s) { picture(q, s); });
}

void StationServer::Impl::catalogue(const httplib::Request& req, httplib::Response& res) {
  const auto lib = library();
  Records records(*lib, base(req));
  Json entries = Json::array();
  for (std::size_t i = 0; i < lib->channels().size(); ++i) entries.push_back(records.channel(i));
  sendJson(res, 200, Json{{"entries", std::move(entries)}});
}

void StationServer::Impl::channelQueue(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto channel = lib->channelIndex(*id);
  if (!channel) return sendError(res, 404, "unknown channel");
  Json tracks = Json::array();
  for (auto t : picker.channelQueue(*lib, *channel)) tracks.push_back(lib->tracks()[t].id);
  sendJson(res, 200, Json{{"tracks", std::move(tracks)}});
}

void StationServer::Impl::privateChannel(const httplib::Request&, httplib::Response& res,
                                         const httplib::ContentReader& reader) {
  const auto body = readBody(reader);
  if (!body) return sendError(res, 413, "request body too large");
  const auto form = parseForm(*body);
  if (!form) return sendError(res, 400, "malformed form body");
  const std::string* idList = nullptr;
  for (const auto& [name, value] : *form)
    if (name == "id") idList = &value;
  if (!idList) return sendError(res, 400, "missing id");
  std::vector<std::string> ids;
  std::size_t start = 0;
  while (start <= idList->size()) {
    auto comma = idList->find(',', start);
    if (comma == std::string::npos) comma = idList->size();
    std::string id = idList->substr(start, comma - start);
    start = comma + 1;
    if (isWellFormedId(id)) ids.push_back(std::move(id));  // ids of other services are ignored
  }
  const auto lib = library();
  Json tracks = Json::array();
  for (auto t : picker.privateQueue(*lib, ids)) tracks.push_back(lib->tracks()[t].id);
  sendJson(res, 200, Json{{"tracks", std::move(tracks)}});
}

void StationServer::Impl::channelImages(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto channel = lib->channelIndex(*id);
  if (!channel) return sendError(res, 404, "unknown channel");
  Records records(*lib, base(req));
  sendJson(res, 200, Json{{"l", records.url(channelPicturePath(lib->channels()[*channel]))}});
}

void StationServer::Impl::trackRecord(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto track = lib->trackIndex(*id);
  if (!track) return sendError(res, 404, "unknown track");
  sendJson(res, 200, Records(*lib, base(req), pure != nullptr).track(*track));
}

void StationServer::Impl::albumImages(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto album = lib->albumIndex(*id);
  if (!album) return sendError(res, 404, "unknown album");
  Records records(*lib, base(req));
  sendJson(res, 200, Json{{"h", records.url(albumPicturePath(lib->albums()[*album]))}});
}

void StationServer::Impl::artistImages(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto artist = lib->artistIndex(*id);
  if (!artist) return sendError(res, 404, "unknown artist");
  Records records(*lib, base(req));
  sendJson(res, 200, Json{{"h", records.url(artistPicturePath(lib->artists()[*artist]))}});
}

void StationServer::Impl::searchCatalogue(const httplib::Request& req, httplib::Response& res) {
  auto fail = [&](const std::string& message) {
    sendJson(res, 400, Json{{"err_code", 1}, {"error", message}, {"entries", Json::array()}});
  };
  const auto kind = searchKindOf(req.matches[1].str());
  if (!kind) return fail("unknown kind");
  if (!req.has_param("q")) return fail("missing q");
  const std::string raw = req.get_param_value("q");
  if (raw.size() > kMaxQueryBytes) return fail("query too long");
  const auto query = decodeQueryText(raw);
  if (!query) return fail("query is not UTF-8");
  std::size_t start = 0;
  std::size_t count = kDefaultSearchCount;
  if (req.has_param("start")) {
    auto v = parseCount(req.get_param_value("start"), kMaxSearchStart);
    if (!v) return fail("bad start");
    start = *v;
  }
  if (req.has_param("offset")) {
    auto v = parseCount(req.get_param_value("offset"), kMaxSearchCount);
    if (!v) return fail("bad offset");
    count = *v;
  }
  const auto lib = library();
  const auto hits = searchLibrary(*lib, *kind, *query);
  Records records(*lib, base(req), pure != nullptr);
  Json entries = Json::array();
  for (std::size_t i = start; i < hits.size() && i < start + count; ++i) {
    switch (*kind) {
      case SearchKind::Tracks: entries.push_back(records.track(hits[i])); break;
      case SearchKind::Artists: entries.push_back(records.artist(hits[i])); break;
      case SearchKind::Albums: entries.push_back(records.album(hits[i])); break;
    }
  }
  sendJson(res, 200, Json{{"err_code", 0}, {"total", hits.size()}, {"start", start}, {"entries", std::move(entries)}});
}

void StationServer::Impl::similar(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto artist = lib->artistIndex(*id);
  if (!artist) return sendError(res, 404, "unknown artist");
  Records records(*lib, base(req));
  Json entries = Json::array();
  for (auto other : lib->similarArtists(*artist, kSimilarArtistCount)) entries.push_back(records.artist(other));
  sendJson(res, 200, Json{{"entries", std::move(entries)}});
}

void StationServer::Impl::stats(const httplib::Request&, httplib::Response& res, const httplib::ContentReader& reader) {
  auto body = readBody(reader);
  if (!body) return sendError(res, 413, "request body too large");
  if (body->empty()) return sendError(res, 400, "empty report");
  if (!options.dataDir.empty()) {
    // One report a line: the time received, a tab, the body with line breaks made spaces.
    for (auto& c : *body)
      if (c == '\n' || c == '\r') c = ' ';
    std::lock_guard lock(statsMutex_);
    std::ofstream log(statsLogPath(options.dataDir), std::ios::app | std::ios::binary);
    log << static_cast<long long>(std::time(nullptr)) << '\t' << *body << '\n';
    if (!log) return sendError(res, 500, "report not stored");
  }
  sendJson(res, 202, Json{{"accepted", true}});
}

void StationServer::Impl::stream(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto index = lib->trackIndex(*id);
  if (index && pure && req.matches[2].str() == "pur" && lib->tracks()[*index].format != AudioFormat::Pure)
    return servePureStream(req, res, *pure, lib->tracks()[*index], openStreams);
  if (!index || req.matches[2].str() != extensionOf(lib->tracks()[*index].format))
    return sendError(res, 404, "unknown stream");
  const auto& track = lib->tracks()[*index];
  if (!serveFile(req, res, track.path, track.audioBegin, track.audioEnd, contentTypeOf(track.format), openStreams))
    sendError(res, 404, "stream file missing");
}

void StationServer::Impl::lyrics(const httplib::Request& req, httplib::Response& res) {
  const auto id = idFrom(req, res);
  if (!id) return;
  const auto lib = library();
  const auto index = lib->trackIndex(*id);
  if (!index || lib->tracks()[*index].lyricsPath.empty()) return sendError(res, 404, "no lyrics");
  if (!serveFile(req, res, lib->tracks()[*index].lyricsPath, 0, 0, "text/plain; charset=utf-8", openStreams))
    sendError(res, 404, "lyrics file missing");
}

void StationServer::Impl::picture(const httplib::Request& req, httplib::Response& res) {
  const std::string kind = req.matches[1];
  const auto id = idFrom(req, res, 2);
  if (!id) return;
  const auto lib = library();
  if (kind == "albums") {
    const auto album = lib->albumIndex(*id);
    if (!album) return sendError(res, 404, "unknown album");
    sendPicture(req, res, lib->albums()[*album].cover, *id, [&] { return paintCover(seedOf(*id), kCoverSize); });
  } else if (kind == "artists") {
    const auto artist = lib->artistIndex(*id);
    if (!artist) return sendError(res, 404, "unknown artist");
    sendPicture(req, res, lib->artists()[*artist].picture, *id,
                [&] { return paintPortrait(seedOf(*id), kPortraitWidth, kPortraitHeight); });
  } else {
    const auto channel = lib->channelIndex(*id);
    if (!channel) return sendError(res, 404, "unknown channel");
    sendPicture(req, res, PictureSource{}, *id, [&] { return paintChannelPicture(seedOf(*id), kChannelPictureSize); });
  }
}

void StationServer::Impl::sendPicture(const httplib::Request& req, httplib::Response& res,
                                      const PictureSource& source, const std::string& cacheKey,
                                      const std::function<QImage()>& paint) {
  if (source.kind == PictureSource::Kind::File) {
    if (pictureFileDecodes(source.path)) {
      std::string head;
      {
        std::ifstream in(source.path, std::ios::binary);
        char bytes[16] = {};
        in.read(bytes, sizeof bytes);
        head.assign(bytes, static_cast<std::size_t>(in.gcount()));
      }
      if (serveFile(req, res, source.path, 0, 0, pictureContentType(head), openStreams)) return;
    }
  } else if (source.kind == PictureSource::Kind::Embedded) {
    auto bytes = readEmbeddedPicture(source.path, source.format);
    if (bytes && pictureDecodes(*bytes)) {
      const char* type = pictureContentType(*bytes);
      res.set_content(std::move(*bytes), type);
      return;
    }
  }
  // No picture of its own (or it went missing since the scan, or it does not decode): a painted one.
  std::shared_ptr<const std::string> bytes;
  {
    std::lock_guard lock(pictureMutex_);
    if (auto it = painted_.find(cacheKey); it != painted_.end()) bytes = it->second;
  }
  if (!bytes) {
    bytes = std::make_shared<const std::string>(pngBytes(paint()));
    std::lock_guard lock(pictureMutex_);
    if (painted_.size() >= kPictureCacheEntries) painted_.clear();
    painted_.emplace(cacheKey, bytes);
  }
  if (bytes->empty()) return sendError(res, 500, "picture not painted");
  res.set_content(*bytes, "image/png");
}

StationServer::StationServer(std::shared_ptr<const Library> library, StationOptions options)
    : impl_(std::make_unique<Impl>(std::move(library), std::move(options))) {
  std::signal(SIGPIPE, SIG_IGN);  // a client that leaves mid-reply is a failed write, not a signal
  auto& http = impl_->http;
  http.set_payload_max_length(kMaxBodyBytes);
  // Remember the listening socket so bind() can give it a longer queue of pending connections
  // than the HTTP library's 5 (many players connecting at once would otherwise wait for SYN
  // retries). Only SO_REUSEADDR: two stations must not share a port.
  http.set_socket_options([impl = impl_.get()](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    impl->listenSocket = sock;
  });
  http.set_write_timeout(kWriteTimeoutSeconds, 0);
  http.set_keep_alive_max_count(kKeepAliveMaxRequests);
  // Replies go out as a header write and a body write; without this the second waits for the
  // client's delayed acknowledgement (about 40 ms) on kept-alive connections.
  http.set_tcp_nodelay(true);
  // The HTTP library would cut every reply to the requested ranges without checking them against
  // the reply's length; the station answers ranges itself (streams only), so it clears them here.
  http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    const_cast<httplib::Request&>(req).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty() && !res.content_length_) {
      const char* text = res.status == 404   ? "not found"
                         : res.status == 413 ? "request body too large"
                         : res.status == 416 ? "range not satisfiable"
                         : res.status == 405 ? "method not allowed"
                         : res.status < 500  ? "bad request"
                                             : "server error";
      res.set_content(toText(Json{{"error", text}}), "application/json; charset=utf-8");
    }
  });
  http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    sendError(res, 500, "server error");
  });
  if (impl_->options.requestLog)
    http.setRequestLog([log = impl_->options.requestLog](const RequestLogEntry& entry) {
      log(formatRequestLogLine(entry));
    });
  impl_->routes();
}

StationServer::~StationServer() { stop(); }

bool StationServer::bind(std::string* error) {
  auto& http = impl_->http;
  if (impl_->options.port == 0) {
    impl_->boundPort = http.bind_to_any_port(impl_->options.bindAddress);
  } else if (http.bind_to_port(impl_->options.bindAddress, impl_->options.port)) {
    impl_->boundPort = impl_->options.port;
  }
  if (impl_->boundPort <= 0) {
    if (error) *error = "cannot listen on " + impl_->options.bindAddress + ":" + std::to_string(impl_->options.port);
    impl_->boundPort = 0;
    return false;
  }
  if (impl_->listenSocket >= 0) ::listen(impl_->listenSocket, kListenBacklog);  // a listening socket takes a new length
  return true;
}

int StationServer::port() const { return impl_->boundPort; }
void StationServer::listen() {
  impl_->inListen = true;
  if (!impl_->stopRequested) impl_->http.listen_after_bind();
  impl_->inListen = false;
  impl_->http.finish();  // the connections still waiting close; requests in progress end
}

void StationServer::stop() {
  impl_->stopRequested = true;
  // listen() may be between its start and the moment the HTTP server counts as running; a stop in
  // that window would be lost, so wait for one or the other (a few instructions at most).
  while (impl_->inListen && !impl_->http.is_running()) std::this_thread::yield();
  impl_->http.stop();
}
bool StationServer::isRunning() const { return impl_->http.is_running(); }
void StationServer::setLibrary(std::shared_ptr<const Library> library) { impl_->setLibrary(std::move(library)); }
std::shared_ptr<const Library> StationServer::library() const { return impl_->library(); }
int StationServer::openStreams() const { return impl_->openStreams.load(); }
int StationServer::waitingConnections() const { return impl_->http.waitingConnections(); }

}  // namespace tonvera::station
