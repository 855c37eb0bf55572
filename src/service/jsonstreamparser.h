#pragma once
// The JSON reader's upper layers: the table-driven stream parser and the tree builder it feeds.
//
// The parser reads tokens from its tokeniser, checks each against the current state's table, keeps a
// stack of the states of the enclosing containers (at most maxDepth), and reports structure and
// values to its delegate. The adapter builds the value tree from those reports and hands the finished
// outer-most value to its accumulator.
//
// Threads: one thread at a time per object.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/jsontokeniser.h"
#include "service/jsonvalue.h"

namespace tonvera {

// Receives the parser's findings in document order.
class SBJsonStreamParserDelegate {
 public:
  virtual ~SBJsonStreamParserDelegate() = default;
  virtual void parserFoundObjectStart() = 0;
  // The key's text is valid during the call only.
  virtual void parserFoundObjectKey(std::string_view key) = 0;
  virtual void parserFoundObjectEnd() = 0;
  virtual void parserFoundArrayStart() = 0;
  virtual void parserFoundArrayEnd() = 0;
  // A string value (its text is valid during the call only).
  virtual void parserFoundString(std::string_view text) = 0;
  // A number, boolean or null.
  virtual void parserFoundValue(JsonValue&& value) = 0;
};

// The parser's states; each is a row of the state table (accepted tokens, name, transitions).
enum class SBJsonStreamParserState : std::uint8_t {
  Start,
  Complete,
  Error,
  ObjectStart,
  ObjectGotKey,
  ObjectSeparator,
  ObjectGotValue,
  ObjectNeedKey,
  ArrayStart,
  ArrayGotValue,
  ArrayNeedValue,
};

// The state's name in error messages ("before outer-most array or object", ...).
const char* stateName(SBJsonStreamParserState state);
// Whether `state` accepts token kind `token`.
bool stateAccepts(SBJsonStreamParserState state, int token);

class SBJsonStreamParser {
 public:
  // `delegate` is not owned and must outlive the parser's use.
  explicit SBJsonStreamParser(SBJsonStreamParserDelegate* delegate) : delegate_(delegate) {}

  std::size_t maxDepth() const { return maxDepth_; }
  void setMaxDepth(std::size_t depth) { maxDepth_ = depth; }
  const std::string& error() const { return error_; }
  SBJsonStreamParserState state() const { return state_; }

  // Appends `data` and parses as far as it goes.
  SBJsonStreamParserStatus parse(std::string_view data);

 private:
  SBJsonStreamParserStatus parseTokens();
  SBJsonStreamParserStatus failWith(std::string message);

  SBJsonStreamParserDelegate* delegate_;  // not owned
  SBJsonTokeniser tokeniser_;
  SBJsonStreamParserState state_ = SBJsonStreamParserState::Start;
  std::vector<SBJsonStreamParserState> stateStack_;  // states of the enclosing containers
  std::size_t maxDepth_ = SBJsonParser::kDefaultMaxDepth;
  std::string error_;
};

// Builds the value tree from the parser's reports; the finished outer-most value goes to the
// accumulator (here: kept in value()).
class SBJsonStreamParserAdapter final : public SBJsonStreamParserDelegate {
 public:
  void parserFoundObjectStart() override;
  void parserFoundObjectKey(std::string_view key) override;
  void parserFoundObjectEnd() override;
  void parserFoundArrayStart() override;
  void parserFoundArrayEnd() override;
  void parserFoundString(std::string_view text) override;
  void parserFoundValue(JsonValue&& value) override;

  // Prepares for a document of about `bytes` bytes. A large one gets room on the stack of pending
  // values for the most values it can hold (one per 8 bytes, at most a million), so that a long
  // array never grows it step by step; pages never written cost nothing but address space. The
  // large block, given back at the end, also keeps the allocator from returning the tree's memory
  // to the system after every document and faulting it in again for the next. Small documents
  // need neither.
  void reserveFor(std::size_t bytes) {
    if (bytes >= kLargeDocument) items_.reserve(std::min<std::size_t>(bytes / 8, std::size_t{1} << 20));
  }
  static constexpr std::size_t kLargeDocument = 256 * 1024;

  // The accumulated outer-most value, once one has closed.
  std::optional<JsonValue>& value() { return value_; }

 private:
  // Puts a value made of `value` into the innermost open container (or makes it the outer-most
  // value); a closed container goes where its opening put its key.
  template <typename T>
  void addValue(T&& value);
  template <typename T>
  void addContainer(T&& container);
  // A container opens: the key it is the value of (if any) takes its place among the members.
  void openFrame(bool object);

  // Open containers, innermost last. Their contents wait on two stacks: an open array's elements in
  // items_, an open object's members in members_ (from the index its frame holds on), and are moved
  // into a container of exactly their number when it closes: one allocation per container, none
  // per member or per doubling. A key waits in key_ for its value; when the value is a container,
  // the key goes to members_ when the container opens (its own keys come before it closes), and the
  // closed container becomes that member's value.
  struct Frame {
    bool object;
    std::size_t start;
  };
  std::vector<Frame> frames_;
  std::vector<JsonValue> items_;
  std::vector<JsonObject::value_type> members_;
  std::string key_;                 // the key read last, until its value comes
  std::optional<JsonValue> value_;  // the accumulator
};

}  // namespace tonvera
