// The lyrics model behind the now-playing page's one-line lyrics view: it parses LRC text into a
// map from time to line and chooses the line to show for a playback position. The view only asks
// this model what to draw; it holds no lyrics state of its own.
//
// Threads: main thread only (the controller feeds it and the view's paint reads it there). Not
// synchronised.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonvera {

class LineLrcModel {
 public:
  // Time of a tag in seconds (32-bit, as the tags are read) to the line's text.
  using LrcDict = std::map<float, std::u16string>;
  // Measures a text's width in the view's line font; used to decide whether a line needs two rows.
  using TextWidth = std::function<double(const std::u16string&)>;

  // Shown when the track has no lyrics.
  static constexpr std::u16string_view kNoLyricsText = u"无歌词";

  // What the view draws for the current position.
  enum class Display {
    NoLyrics,  // no text: the view draws kNoLyricsText
    Untimed,   // text without any timed line: the view shows untimedText() and draws no line
    Line,      // a timed line, in one row or, when too wide, in two
  };

  struct Choice {
    Display display = Display::NoLyrics;
    std::u16string line;  // the chosen line's text (Display::Line only)
  };

  struct Rows {
    Display display = Display::NoLyrics;
    std::u16string first;                  // the whole line, or its first half when split
    std::optional<std::u16string> second;  // the second half, only when the line was split
  };

  // Stores the raw text (std::nullopt: the track has no lyrics). Call processLrc() afterwards.
  // An empty text counts as no lyrics.
  void setLrc(std::optional<std::u16string> lrc);
  // UTF-8 convenience (malformed bytes become U+FFFD).
  void setLrcUtf8(std::optional<std::string_view> utf8);
  const std::optional<std::u16string>& lrc() const { return lrc_; }

  // Parses lrc() into lrcdict() and sortedTimes(): split at line feeds, each line's entries merged
  // in order, a later line replacing an earlier one with the same time. Resets index() to 0.
  void processLrc();

  // Playback position in seconds.
  void setTimestamp(double seconds) { timestamp_ = seconds; }
  double timestamp() const { return timestamp_; }

  const LrcDict& lrcdict() const { return lrcdict_; }
  // The keys of lrcdict() in ascending order.
  const std::vector<float>& sortedTimes() const { return sortedTimes_; }
  // Position in sortedTimes() of the line chosen last.
  std::size_t index() const { return index_; }

  // The raw text to show in the scrolling text area, present exactly when the lyrics have text but
  // no timed line. The area is hidden otherwise (also when the track has no lyrics at all).
  std::optional<std::u16string_view> untimedText() const;

  // Chooses the line for timestamp(): the last line whose time is not after the position, or the
  // first line when the position is before every tag. Updates index().
  Choice chooseLine();

  // The line chosen last (index()) as a karaoke display shows it: its text, the next line's, and how
  // far playback at `seconds` has come through the line's time, from its tag to the next line's tag
  // (for the last line, to `end`, the track's end, or kLastLineSeconds when that is not later).
  // Nothing without timed lines. The line is the page's; only the share moves with `seconds`.
  struct Span {
    std::u16string line;
    std::u16string next;  // empty after the last line
    double fill = 0;      // 0 at the line's tag up to 1 where the next line starts
    double length = 0;    // seconds from the line's tag to where it ends
  };
  static constexpr double kLastLineSeconds = 5;
  std::optional<Span> span(double seconds, double end) const;

  // chooseLine(), then splits the line into two rows when textWidth(line) exceeds availableWidth.
  Rows layoutLine(const TextWidth& textWidth, double availableWidth);

  // One line's entries: every time tag in the bracketed head of the line, each mapped to the text
  // after the head's last ']'. A line without a head gives nothing.
  static LrcDict genLineDict(std::u16string_view line);
  // The times of the "[minutes:seconds]" tags in a head; other tags ([ti:...], [offset:...]) give
  // none.
  static std::vector<float> genTimeStamps(std::u16string_view head);
  // Splits a line in two rows: at the space nearest its middle (the space itself dropped) when it
  // has one; otherwise at its middle, the first half being the first size/2 code units and the
  // second the rest, a surrogate pair on the boundary staying whole in the second half.
  static std::pair<std::u16string, std::u16string> splitInHalves(std::u16string_view line);

 private:
  std::optional<std::u16string> lrc_;
  double timestamp_ = 0;
  LrcDict lrcdict_;
  std::vector<float> sortedTimes_;
  std::size_t index_ = 0;
};

}  // namespace tonvera
