#pragma once
// A small deterministic song synthesiser for the demo library: a chord progression with pad,
// bass, drums or plucked arpeggios by style, and a melody in two-bar phrases. The phrase starts
// are returned so the lyrics' time tags fall on the sung phrases.
// Pure computation; any thread may call it.

#include <cstdint>
#include <vector>

namespace tonvera::station {

enum class MusicStyle { Pop, Rock, Folk, Jazz, Electronic };

struct SongRecipe {
  std::uint32_t seed = 1;
  int bpm = 100;
  int rootMidi = 60;   // key note, MIDI number
  bool minor = false;
  MusicStyle style = MusicStyle::Pop;
  double seconds = 30.0;
};

struct RenderedSong {
  int sampleRate = 44100;
  std::vector<float> left, right;  // equal lengths, peak at most 0.9
  // Start (seconds) of every melody phrase; the first phrase follows a two-bar introduction.
  std::vector<double> phraseStarts;
};

inline constexpr int kSynthSampleRate = 44100;

RenderedSong renderSong(const SongRecipe& recipe);

}  // namespace tonvera::station
