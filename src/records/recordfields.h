// Reading the fields of a service record (a track, artist or album dictionary decoded from the
// service's JSON, nulls already dropped).
//
// Threads: pure functions over their arguments; any thread may call them.
#pragma once

#include <optional>
#include <string>

#include "platform/plist.h"

namespace tonvera {

// A service record: a string-keyed dictionary.
using Record = PlistValue::Dict;

// The text of an id member: a string as it stands, an integer in decimal (the way the text of a
// number is formed when it goes into a request path); nothing for an absent member or any other type.
std::optional<std::string> idText(const PlistValue* value);

// The member `key` of `record` when it is a string; nothing otherwise.
std::optional<std::string> stringField(const Record& record, const std::string& key);

// The record's "id" as text (see idText).
std::optional<std::string> recordId(const Record& record);

}  // namespace tonvera
