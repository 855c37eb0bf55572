#include "station/synth.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tonvera::station {

namespace {

constexpr double kTwoPi = 6.283185307179586;

class Dice {
 public:
  explicit Dice(std::uint32_t seed) : state_(seed ? seed : 0x2545F491u) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double unit() { return (next() >> 8) / double(1u << 24); }
  int range(int lo, int hi) { return lo + static_cast<int>(unit() * (hi - lo + 1)); }
  float noise() { return static_cast<float>(unit() * 2.0 - 1.0); }

 private:
  std::uint32_t state_;
};

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

struct Mix {
  int rate;
  std::vector<float> l, r;
  void add(std::size_t i, float v, float pan) {  // pan -1 left .. 1 right
    if (i >= l.size()) return;
    l[i] += v * (1.0f - pan) * 0.5f;
    r[i] += v * (1.0f + pan) * 0.5f;
  }
};

enum class Timbre { Soft, Bright, Square, Pluck };

// One note: additive tone with an attack/decay/sustain/release envelope.
void note(Mix& mix, double start, double length, double midi, float gain, float pan, Timbre timbre) {
  const double f = midiHz(midi);
  const auto first = static_cast<std::size_t>(start * mix.rate);
  const double release = timbre == Timbre::Pluck ? 0.25 : 0.08;
  const auto count = static_cast<std::size_t>((length + release) * mix.rate);
  const double attack = timbre == Timbre::Soft ? 0.12 : 0.008;
  for (std::size_t k = 0; k < count; ++k) {
    const double t = static_cast<double>(k) / mix.rate;
    double env;
    if (timbre == Timbre::Pluck) {
      env = std::min(1.0, t / 0.003) * std::exp(-t * 3.2);
    } else {
      env = t < attack ? t / attack : 0.75 + 0.25 * std::exp(-(t - attack) * 6.0);
    }
    if (t > length) env *= std::max(0.0, 1.0 - (t - length) / release);
    const double vibrato = (timbre == Timbre::Bright && t > 0.25) ? 0.004 * std::sin(kTwoPi * 5.5 * t) : 0.0;
    const double ph = kTwoPi * f * (1.0 + vibrato) * t;
    double v;
    switch (timbre) {
      case Timbre::Soft: v = std::sin(ph) + 0.2 * std::sin(2 * ph); break;
      case Timbre::Bright: v = std::sin(ph) + 0.35 * std::sin(2 * ph) + 0.12 * std::sin(3 * ph); break;
      case Timbre::Square: v = std::sin(ph) + 0.33 * std::sin(3 * ph) + 0.2 * std::sin(5 * ph); break;
      case Timbre::Pluck: v = std::sin(ph) + 0.5 * std::exp(-t * 8) * std::sin(2 * ph) + 0.25 * std::exp(-t * 12) * std::sin(3 * ph); break;
    }
    mix.add(first + k, static_cast<float>(v * env * gain), pan);
  }
}

void kick(Mix& mix, double start, float gain) {
  const auto first = static_cast<std::size_t>(start * mix.rate);
  double phase = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(0.25 * mix.rate); ++k) {
    const double t = static_cast<double>(k) / mix.rate;
    const double f = 45.0 + 75.0 * std::exp(-t * 30.0);
    phase += kTwoPi * f / mix.rate;
    mix.add(first + k, static_cast<float>(std::sin(phase) * std::exp(-t * 14.0) * gain), 0.0f);
  }
}

void hiss(Mix& mix, Dice& dice, double start, double decay, float gain, float pan, double toneHz) {
  const auto first = static_cast<std::size_t>(start * mix.rate);
  float previous = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(decay * 6 * mix.rate); ++k) {
    const double t = static_cast<double>(k) / mix.rate;
    const float n = dice.noise();
    const float bright = n - previous;  // a first difference: noise with the lows taken out
    previous = n;
    double v = bright * 0.6;
    if (toneHz > 0) v += 0.5 * std::sin(kTwoPi * toneHz * t);
    mix.add(first + k, static_cast<float>(v * std::exp(-t / decay) * gain), pan);
  }
}

struct Chord {
  int root;  // semitones above the key note
  bool minor;
};

}  // namespace

RenderedSong renderSong(const SongRecipe& recipe) {
  Dice dice(recipe.seed);
  Mix mix{kSynthSampleRate, {}, {}};
  const auto total = static_cast<std::size_t>(recipe.seconds * mix.rate);
  mix.l.assign(total, 0.0f);
  mix.r.assign(total, 0.0f);

  const bool swing = recipe.style == MusicStyle::Jazz;
  const double beat = 60.0 / recipe.bpm;
  const double bar = 4 * beat;
  const std::array<Chord, 4> progression =
      recipe.minor ? std::array<Chord, 4>{{{0, true}, {8, false}, {3, false}, {10, false}}}
                 : (recipe.style == MusicStyle::Jazz ? std::array<Chord, 4>{{{2, true}, {7, false}, {0, false}, {9, true}}}
                                                   : std::array<Chord, 4>{{{0, false}, {7, false}, {9, true}, {5, false}}});
  const std::array<int, 5> pentatonic =
      recipe.minor ? std::array<int, 5>{0, 3, 5, 7, 10} : std::array<int, 5>{0, 2, 4, 7, 9};
  const int bars = static_cast<int>(std::ceil(recipe.seconds / bar));
  const double key = recipe.rootMidi;

  // Accompaniment, bar by bar.
  for (int b = 0; b < bars; ++b) {
    const double t0 = b * bar;
    const Chord chord = progression[static_cast<std::size_t>(b) % progression.size()];
    const double third = chord.minor ? 3 : 4;
    const std::array<double, 3> tones{key + chord.root, key + chord.root + third, key + chord.root + 7};
    if (recipe.style != MusicStyle::Folk) {
      for (std::size_t i = 0; i < tones.size(); ++i)
        note(mix, t0, bar * 0.95, tones[i] - 12 + (recipe.style == MusicStyle::Jazz && i == 2 ? 3 : 0), 0.05f,
             -0.6f + 0.6f * static_cast<float>(i), Timbre::Soft);
    }
    switch (recipe.style) {
      case MusicStyle::Pop:
      case MusicStyle::Rock:
        for (int q = 0; q < 4; ++q) {
          const double tb = t0 + q * beat;
          if (q % 2 == 0) kick(mix, tb, 0.55f);
          else hiss(mix, dice, tb, 0.05, recipe.style == MusicStyle::Rock ? 0.3f : 0.22f, 0.1f, 185.0);
          hiss(mix, dice, tb + beat / 2, 0.012, 0.08f, 0.5f, 0.0);
          note(mix, tb, beat * 0.9, key + chord.root - 24, recipe.style == MusicStyle::Rock ? 0.22f : 0.18f, 0.0f,
               recipe.style == MusicStyle::Rock ? Timbre::Square : Timbre::Pluck);
        }
        break;
      case MusicStyle::Electronic:
        for (int q = 0; q < 4; ++q) kick(mix, t0 + q * beat, 0.6f);
        for (int s = 0; s < 16; ++s) {
          const double ts = t0 + s * beat / 4;
          note(mix, ts, beat / 4 * 0.7, tones[static_cast<std::size_t>(s) % 3] + (s % 8 >= 4 ? 12 : 0), 0.06f,
               (s % 2) ? 0.5f : -0.5f, Timbre::Square);
          if (s % 4 == 2) hiss(mix, dice, ts, 0.01, 0.07f, 0.6f, 0.0);
        }
        note(mix, t0, bar * 0.9, key + chord.root - 24, 0.16f, 0.0f, Timbre::Soft);
        break;
      case MusicStyle::Folk:
        for (int e = 0; e < 8; ++e) {  // finger-picked arpeggio
          static constexpr std::array<int, 8> kPattern{0, 2, 1, 2, 0, 2, 1, 2};
          const double pitch = (e == 0 ? tones[0] - 12 : tones[static_cast<std::size_t>(kPattern[e])]);
          note(mix, t0 + e * beat / 2, beat, pitch, 0.12f, -0.3f + 0.1f * (e % 3), Timbre::Pluck);
        }
        break;
      case MusicStyle::Jazz:
        for (int q = 0; q < 4; ++q) {  // walking bass and brushed ride
          static constexpr std::array<int, 4> kWalk{0, 4, 7, 9};
          note(mix, t0 + q * beat, beat * 0.85, key + chord.root - 24 + kWalk[static_cast<std::size_t>(q)] - (chord.minor && q == 1 ? 1 : 0),
               0.2f, 0.0f, Timbre::Pluck);
          hiss(mix, dice, t0 + q * beat, 0.03, 0.06f, 0.4f, 0.0);
          hiss(mix, dice, t0 + q * beat + beat * 2.0 / 3.0, 0.02, 0.04f, 0.4f, 0.0);
        }
        break;
    }
  }

  // Melody: two-bar phrases after a two-bar introduction, each phrase built from one of two
  // motifs (A A B A), resting on its last beat. The last bar is left to the fade.
  RenderedSong song;
  song.sampleRate = mix.rate;
  const Timbre lead = recipe.style == MusicStyle::Electronic ? Timbre::Square
                      : recipe.style == MusicStyle::Folk     ? Timbre::Pluck
                                                           : Timbre::Bright;
  std::array<std::vector<std::pair<double, int>>, 2> motifs;  // (length in beats, scale step)
  for (auto& motif : motifs) {
    double used = 0;
    int step = dice.range(3, 7);
    while (used < 7.0) {
      static constexpr std::array<double, 5> kLengths{0.5, 0.5, 1.0, 1.0, 1.5};
      double length = kLengths[static_cast<std::size_t>(dice.range(0, 4))];
      if (used + length > 7.0) length = 7.0 - used;
      motif.emplace_back(length, step);
      used += length;
      step = std::clamp(step + dice.range(-2, 2), 0, 10);
    }
  }
  for (int phrase = 0;; ++phrase) {
    const double start = bar * 2 * (phrase + 1);
    if (start + bar * 2 > recipe.seconds - bar * 0.5 && phrase > 0) break;
    if (start >= recipe.seconds) break;
    song.phraseStarts.push_back(start);
    const auto& motif = motifs[phrase % 4 == 2 ? 1 : 0];
    const int shift = (phrase % 4 == 3) ? -1 : 0;
    double pos = 0;
    for (const auto& [length, step] : motif) {
      const int s = std::max(0, step + shift);
      const double pitch = key + 12 + 12 * (s / 5) + pentatonic[static_cast<std::size_t>(s % 5)];
      double at = start + pos * beat;
      if (swing && std::fmod(pos, 1.0) > 0.25) at += beat / 6;  // swung off-beats
      note(mix, at, length * beat * 0.92, pitch, 0.16f, -0.15f, lead);
      pos += length;
    }
  }

  // Fade in and out, then bring the peak to 0.9.
  const auto fadeIn = static_cast<std::size_t>(0.02 * mix.rate);
  const auto fadeOut = std::min(total / 3, static_cast<std::size_t>(1.5 * mix.rate));
  float peak = 1e-6f;
  for (std::size_t i = 0; i < total; ++i) {
    float g = 1.0f;
    if (i < fadeIn) g = static_cast<float>(i) / fadeIn;
    if (i + fadeOut > total) g *= static_cast<float>(total - i) / fadeOut;
    mix.l[i] *= g;
    mix.r[i] *= g;
    peak = std::max({peak, std::abs(mix.l[i]), std::abs(mix.r[i])});
  }
  const float scale = 0.9f / peak;
  for (std::size_t i = 0; i < total; ++i) {
    mix.l[i] *= scale;
    mix.r[i] *= scale;
  }
  song.left = std::move(mix.l);
  song.right = std::move(mix.r);
  return song;
}

}  // namespace tonvera::station
