// Parse throughput (bytes/s) of the JSON reader on a 1 MB channel catalogue and a 20 KB track record
// with Chinese text, beside nlohmann::json and RapidJSON (DOM) on the very same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "service/jsonvalue.h"

#ifdef TONVERA_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#ifdef TONVERA_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#endif

namespace {

const char* const kNames[] = {"私人电台", "华语流行", "欧美经典", "轻音乐", "摇滚现场", "民谣时光", "爵士夜色", "古典名曲"};

// A catalogue reply of about 1 MB: {"entries":[{channel record}, ...], "err_code":0}.
const std::string& catalogue() {
  static const std::string text = [] {
    std::string s = "{\"entries\":[";
    for (int i = 0; s.size() < 1'000'000; ++i) {
      if (i) s += ',';
      char rec[512];
      std::snprintf(rec, sizeof rec,
                    "{\"id\":\"%d\",\"name\":\"%s %d\",\"intro\":\"每天为你精选的 %s 歌曲, updated daily\","
                    "\"count\":%d,\"score\":%d.%02d,\"hot\":%s,\"cover\":\"http://127.0.0.1:7650/radios/%d/c.jpg\","
                    "\"tags\":[\"流行\",\"pop\",\"%d\"],\"owner\":null}",
                    100000 + i, kNames[i % 8], i, kNames[(i + 3) % 8], i * 7 % 1000, i % 10, i % 100,
                    (i % 3) ? "true" : "false", 100000 + i, i % 50);
      s += rec;
    }
    s += "],\"err_code\":0}";
    return s;
  }();
  return text;
}

// A track record of about 20 KB, mostly time-tagged lyrics lines in Chinese.
const std::string& trackRecord() {
  static const std::string text = [] {
    std::string lrc;
    for (int i = 0; lrc.size() < 19'000; ++i) {
      char line[160];
      std::snprintf(line, sizeof line, "[%02d:%02d.%02d]海阔天空 第%d行 \\u00e9 在风雨里追赶\\n", i / 60, i % 60, i % 100, i);
      lrc += line;
    }
    return "{\"id\":\"1773208\",\"name\":\"海阔天空\",\"artist\":[{\"id\":\"9\",\"name\":\"超越乐队\"}],"
           "\"album\":{\"id\":\"55\",\"name\":\"乐与怒\",\"year\":1993},\"url\":[\"http://127.0.0.1:7650/a.pur\"],"
           "\"duration\":326.5,\"lrc\":\"" +
           lrc + "\"}";
  }();
  return text;
}

void reader(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    auto v = tonvera::parseJson(text);
    if (!v) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

#ifdef TONVERA_BENCH_NLOHMANN
void nlohmannJson(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    auto v = nlohmann::json::parse(text, nullptr, false);
    if (v.is_discarded()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(v);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
#endif

#ifdef TONVERA_BENCH_RAPIDJSON
void rapidJson(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(text.data(), text.size());
    if (d.HasParseError()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
#endif

}  // namespace

BENCHMARK_CAPTURE(reader, catalogue_1MB, catalogue());
BENCHMARK_CAPTURE(reader, track_20KB, trackRecord());
#ifdef TONVERA_BENCH_NLOHMANN
BENCHMARK_CAPTURE(nlohmannJson, catalogue_1MB, catalogue());
BENCHMARK_CAPTURE(nlohmannJson, track_20KB, trackRecord());
#endif
#ifdef TONVERA_BENCH_RAPIDJSON
BENCHMARK_CAPTURE(rapidJson, catalogue_1MB, catalogue());
BENCHMARK_CAPTURE(rapidJson, track_20KB, trackRecord());
#endif

BENCHMARK_MAIN();
