// Cost of choosing the lyrics line for a playback position, which the view does on every progress
// update (several times a second), against a plain walk of the sorted times from the start, and the
// one-off cost of parsing a track's lyrics.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "display/lyricsmodel.h"

namespace {

// A song of `tags` timed lines, every 0.7 s, with mixed Chinese and English text; every fifth line
// carries a second tag for a repeated chorus near the end.
std::u16string makeLyrics(int tags) {
  std::u16string text = u"[ti:基准 Benchmark]\r\n[ar:Tonvera]\r\n[offset:0]\r\n";
  const float step = 0.7f;
  const float chorus = step * float(tags);
  int written = 0;
  for (int i = 0; written < tags; ++i) {
    char tag[48];
    const float t = step * float(i);
    std::snprintf(tag, sizeof tag, "[%02d:%05.2f]", int(t) / 60, t - 60.0f * float(int(t) / 60));
    std::u16string line(tag, tag + std::char_traits<char>::length(tag));
    ++written;
    if (i % 5 == 0 && written < tags) {
      const float r = chorus + t;
      std::snprintf(tag, sizeof tag, "[%02d:%05.2f]", int(r) / 60, r - 60.0f * float(int(r) / 60));
      line.append(tag, tag + std::char_traits<char>::length(tag));
      ++written;
    }
    line += u"第" + std::u16string(1, char16_t(u'一' + i % 9)) + u"行 line of the song 在这里\r\n";
    text += line;
  }
  return text;
}

tonvera::LineLrcModel makeModel(int tags) {
  tonvera::LineLrcModel model;
  model.setLrc(makeLyrics(tags));
  model.processLrc();
  return model;
}

// Positions spread over the whole song and a little past both ends.
double positionFor(std::size_t step, const tonvera::LineLrcModel& model) {
  const double end = model.sortedTimes().empty() ? 1.0 : double(model.sortedTimes().back()) + 5.0;
  return double((step * 7919) % 10007) / 10007.0 * end - 1.0;
}

void BM_ChooseLine(benchmark::State& state) {
  tonvera::LineLrcModel model = makeModel(int(state.range(0)));
  std::size_t step = 0;
  for (auto _ : state) {
    model.setTimestamp(positionFor(step++, model));
    benchmark::DoNotOptimize(model.chooseLine());
  }
  state.counters["tags"] = double(model.sortedTimes().size());
}
BENCHMARK(BM_ChooseLine)->Arg(50)->Arg(300)->Arg(1000);

// Baseline: the walk from the start of the sorted times to the first time after the position, then
// the map lookup and copy of the line, as the choice would be without the ordered search.
void BM_LinearWalkBaseline(benchmark::State& state) {
  tonvera::LineLrcModel model = makeModel(int(state.range(0)));
  const auto& times = model.sortedTimes();
  std::size_t step = 0;
  for (auto _ : state) {
    const float position = float(positionFor(step++, model));
    std::size_t count = 0;
    while (count < times.size() && times[count] <= position) ++count;
    const std::size_t index = count == 0 ? 0 : count - 1;
    std::u16string line = model.lrcdict().find(times[index])->second;
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_LinearWalkBaseline)->Arg(50)->Arg(300)->Arg(1000);

// The whole per-redraw work of the view: choose, measure, maybe split.
void BM_LayoutLine(benchmark::State& state) {
  tonvera::LineLrcModel model = makeModel(int(state.range(0)));
  const tonvera::LineLrcModel::TextWidth width = [](const std::u16string& s) { return 9.5 * s.size(); };
  std::size_t step = 0;
  for (auto _ : state) {
    model.setTimestamp(positionFor(step++, model));
    benchmark::DoNotOptimize(model.layoutLine(width, 200.0));
  }
}
BENCHMARK(BM_LayoutLine)->Arg(300);

// Once per track: parse the lyrics.
void BM_ProcessLrc(benchmark::State& state) {
  const std::u16string text = makeLyrics(int(state.range(0)));
  tonvera::LineLrcModel model;
  for (auto _ : state) {
    model.setLrc(text);
    model.processLrc();
    benchmark::DoNotOptimize(model.sortedTimes().data());
  }
}
BENCHMARK(BM_ProcessLrc)->Arg(300)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
