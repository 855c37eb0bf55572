#include "service/jsonstreamparser.h"

#include <array>
#include <cassert>
#include <cstdio>
#include <iterator>
#include <span>

namespace tonvera {

namespace {

using State = SBJsonStreamParserState;
constexpr int kStates = 11;

constexpr std::uint16_t bit(int token) { return static_cast<std::uint16_t>(1u << token); }
constexpr std::uint16_t kValues = bit(SBJsonTokenNumber) | bit(SBJsonTokenString) | bit(SBJsonTokenTrue) |
                                  bit(SBJsonTokenFalse) | bit(SBJsonTokenNull);
constexpr std::uint16_t kOpeners = bit(SBJsonTokenArrayStart) | bit(SBJsonTokenObjectStart);

struct StateRow {
  const char* name;
  std::uint16_t accepts;                      // bit per token kind
  std::array<State, kSBJsonTokenKinds> next;  // state after an accepted token (a closed container
                                              // counts as its end token); Error where none applies
  bool keyState;                              // a string here is an object key
};

constexpr std::array<State, kSBJsonTokenKinds> transitions(std::uint16_t on, State to) {
  std::array<State, kSBJsonTokenKinds> t{};
  for (int k = 0; k < kSBJsonTokenKinds; ++k) t[k] = (on & bit(k)) ? to : State::Error;
  return t;
}
// One row per state, in the order of SBJsonStreamParserState. A container that closes is counted as
// one value of the state that was current when it opened: that state transitions on the end token.
constexpr std::uint16_t kClosers = bit(SBJsonTokenArrayEnd) | bit(SBJsonTokenObjectEnd);
const std::array<StateRow, kStates> kTable = {{
    {"before outer-most array or object", kOpeners, transitions(kClosers, State::Complete), false},
    {"after outer-most array or object", 0, transitions(0, State::Error), false},
    {"in error", 0, transitions(0, State::Error), false},
    {"at beginning of object", bit(SBJsonTokenObjectEnd) | bit(SBJsonTokenString),
     transitions(bit(SBJsonTokenString), State::ObjectGotKey), true},
    {"after object key", bit(SBJsonTokenKeyValueSeparator),
     transitions(bit(SBJsonTokenKeyValueSeparator), State::ObjectSeparator), false},
    {"as object value", kOpeners | kValues, transitions(kValues | kClosers, State::ObjectGotValue), false},
    {"after object value", bit(SBJsonTokenObjectEnd) | bit(SBJsonTokenValueSeparator),
     transitions(bit(SBJsonTokenValueSeparator), State::ObjectNeedKey), false},
    {"in place of object key", bit(SBJsonTokenString),
     transitions(bit(SBJsonTokenString), State::ObjectGotKey), true},
    {"at array start", kOpeners | kValues | bit(SBJsonTokenArrayEnd),
     transitions(kValues | kClosers, State::ArrayGotValue), false},
    {"after array value", bit(SBJsonTokenArrayEnd) | bit(SBJsonTokenValueSeparator),
     transitions(bit(SBJsonTokenValueSeparator), State::ArrayNeedValue), false},
    {"as array value", kOpeners | kValues, transitions(kValues | kClosers, State::ArrayGotValue), false},
}};
static_assert(kTable.size() == kStates);

const StateRow& row(State s) { return kTable[static_cast<std::size_t>(s)]; }

}  // namespace

const char* stateName(SBJsonStreamParserState state) {
  const auto i = static_cast<std::size_t>(state);
  return i < kTable.size() ? kTable[i].name : "<aaiie!>";
}

bool stateAccepts(SBJsonStreamParserState state, int token) {
  if (token < 0 || token >= kSBJsonTokenKinds) return false;
  return (row(state).accepts & bit(token)) != 0;
}

SBJsonStreamParserStatus SBJsonStreamParser::failWith(std::string message) {
  error_ = std::move(message);
  state_ = State::Error;
  return SBJsonStreamParserStatus::Error;
}

SBJsonStreamParserStatus SBJsonStreamParser::parse(std::string_view data) {
  tokeniser_.appendData(data);
  const SBJsonStreamParserStatus status = parseTokens();
  // The caller's data is read in place; what is left of it is kept for the next call.
  tokeniser_.stream().keepUnread();
  return status;
}

SBJsonStreamParserStatus SBJsonStreamParser::parseTokens() {
  if (state_ == State::Error) return SBJsonStreamParserStatus::Error;
  // The state is kept in a local while tokens come, and stored whenever the loop is left.
  State state = state_;
  for (;;) {
    const int token = tokeniser_.getToken();

    if (token == SBJsonTokenError) return failWith(tokeniser_.error());
    if (token == SBJsonTokenEOF) {
      state_ = state;
      return state == State::Complete ? SBJsonStreamParserStatus::Complete
                                      : SBJsonStreamParserStatus::WaitingForData;
    }
    const StateRow& current = row(state);
    if ((current.accepts & bit(token)) == 0) {
      std::string message = "Token '";
      message += tokenName(token);
      message += "' not expected ";
      message += current.name;
      return failWith(std::move(message));
    }

    switch (token) {
      case SBJsonTokenArrayStart:
      case SBJsonTokenObjectStart:
        if (stateStack_.size() >= maxDepth_) {
          char message[64];
          std::snprintf(message, sizeof message, "Input depth exceeds max depth of %lu",
                        static_cast<unsigned long>(maxDepth_));
          return failWith(message);
        }
        if (token == SBJsonTokenArrayStart) {
          delegate_->parserFoundArrayStart();
        } else {
          delegate_->parserFoundObjectStart();
        }
        stateStack_.push_back(state);
        state = token == SBJsonTokenArrayStart ? State::ArrayStart : State::ObjectStart;
        break;

      case SBJsonTokenArrayEnd:
      case SBJsonTokenObjectEnd:
        // Accepted only inside a container, so the stack holds its opener's state.
        assert(!stateStack_.empty());
        state = row(stateStack_.back()).next[token];
        stateStack_.pop_back();
        if (token == SBJsonTokenArrayEnd) {
          delegate_->parserFoundArrayEnd();
        } else {
          delegate_->parserFoundObjectEnd();
        }
        break;

      case SBJsonTokenString:
        if (current.keyState) {
          delegate_->parserFoundObjectKey(tokeniser_.string());
        } else {
          delegate_->parserFoundString(tokeniser_.string());
        }
        state = current.next[token];
        break;

      case SBJsonTokenNumber:
        delegate_->parserFoundValue(std::move(tokeniser_.number()));
        state = current.next[token];
        break;

      case SBJsonTokenTrue:
      case SBJsonTokenFalse:
        delegate_->parserFoundValue(JsonValue(token == SBJsonTokenTrue));
        state = current.next[token];
        break;

      case SBJsonTokenNull:
        delegate_->parserFoundValue(JsonValue());
        state = current.next[token];
        break;

      case SBJsonTokenValueSeparator:
      case SBJsonTokenKeyValueSeparator:
        state = current.next[token];
        break;

      default:
        assert(false && "Should not get here");
        return failWith("Should not get here");
    }
  }
}

// ---- tree builder ----

void SBJsonStreamParserAdapter::openFrame(bool object) {
  if (!frames_.empty() && frames_.back().object) members_.emplace_back(std::move(key_), JsonValue());
  frames_.push_back({object, object ? members_.size() : items_.size()});
}
void SBJsonStreamParserAdapter::parserFoundObjectStart() { openFrame(true); }
void SBJsonStreamParserAdapter::parserFoundArrayStart() { openFrame(false); }
void SBJsonStreamParserAdapter::parserFoundObjectKey(std::string_view key) { key_.assign(key); }

void SBJsonStreamParserAdapter::parserFoundObjectEnd() {
  const std::size_t start = frames_.back().start;
  frames_.pop_back();
  JsonObject object = JsonObject::fromMembers(std::span(members_).subspan(start));
  members_.erase(members_.begin() + static_cast<std::ptrdiff_t>(start), members_.end());
  addContainer(std::move(object));
}
void SBJsonStreamParserAdapter::parserFoundArrayEnd() {
  const auto start = static_cast<std::ptrdiff_t>(frames_.back().start);
  frames_.pop_back();
  JsonValue::Array array;
  array.reserve(items_.size() - static_cast<std::size_t>(start));
  array.insert(array.end(), std::make_move_iterator(items_.begin() + start),
               std::make_move_iterator(items_.end()));
  items_.erase(items_.begin() + start, items_.end());
  addContainer(std::move(array));
}
void SBJsonStreamParserAdapter::parserFoundString(std::string_view text) { addValue(std::string(text)); }
void SBJsonStreamParserAdapter::parserFoundValue(JsonValue&& value) { addValue(std::move(value)); }

template <typename T>
void SBJsonStreamParserAdapter::addValue(T&& value) {
  if (frames_.empty()) {
    value_.emplace(std::forward<T>(value));  // (the parser's table lets only containers come here)
  } else if (frames_.back().object) {
    members_.emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(key_)),
                          std::forward_as_tuple(std::forward<T>(value)));
  } else {
    items_.emplace_back(std::forward<T>(value));
  }
}

template <typename T>
void SBJsonStreamParserAdapter::addContainer(T&& container) {
  if (frames_.empty()) {
    value_.emplace(std::forward<T>(container));
  } else if (frames_.back().object) {
    members_.back().second = JsonValue(std::forward<T>(container));  // its key waits there
  } else {
    items_.emplace_back(std::forward<T>(container));
  }
}

}  // namespace tonvera
