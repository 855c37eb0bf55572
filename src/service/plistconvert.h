#pragma once
// Conversion between JSON values and property-list values (records from service replies are stored
// in property-list files and in the user-defaults store), and the canonical JSON writer.
//
// JSON -> property list:
//   string -> String; Unsigned -> Integer (values above INT64_MAX stay unsigned); Signed -> Integer;
//   Decimal -> Real (nearest double); boolean -> Bool; array -> Array; object -> Dict.
//   null has no property-list form: an object member whose value is null is dropped, an array
//   element that is null becomes an empty string (so the elements after it keep their positions,
//   which records address by index, in memory and in files alike), and a null on its own converts
//   to a None value. So a record with null fields is still storable.
// Property list -> JSON:
//   String -> string; Integer -> Unsigned when >= 0, else Signed; Real -> Decimal (shortest text that
//   reads back as the same double); Bool -> boolean; Array -> array; Dict -> object;
//   Data -> string holding the bytes in base64 (standard alphabet, padded); None -> null.
//
// Canonical JSON text (the rendering of `tonvera-cli json`): one line, no spaces, object keys in
// byte order, strings escaped as JSON requires (quote, backslash, and control characters: \b \f \n
// \r \t, others as \u00xx, lower-case hex; "/" and non-ASCII kept as they are, UTF-8), integers in
// decimal (a signed zero as "-0", so it reads back as the signed kind), decimals as
// JsonDecimal::toString() ("15e1"). Every value the reader makes reads back equal. With `withKinds`
// every number carries its kind: "u:123", "i:-5", "i:0", "d:15e1" (that text is no longer JSON; the
// signed zero needs no sign there, its kind says it).
//
// Threads: pure functions; any thread.

#include <string>

#include "platform/plist.h"
#include "service/jsonvalue.h"

namespace tonvera {

PlistValue toPlist(const JsonValue& value);
JsonValue fromPlist(const PlistValue& value);

std::string toCanonicalJson(const JsonValue& value, bool withKinds = false);
// Shorthand for toCanonicalJson(fromPlist(value)).
std::string toCanonicalJson(const PlistValue& value);

// Appends `s` as a quoted, escaped JSON string (the canonical writer's string form).
void appendJsonString(std::string& out, std::string_view s);

}  // namespace tonvera
