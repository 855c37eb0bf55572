#include "service/plistconvert.h"

namespace tonvera {

PlistValue toPlist(const JsonValue&) { return {}; }
JsonValue fromPlist(const PlistValue&) { return {}; }
std::string toCanonicalJson(const JsonValue&, bool) { return "null"; }
std::string toCanonicalJson(const PlistValue& value) { return toCanonicalJson(fromPlist(value)); }
void appendJsonString(std::string& out, std::string_view s) { out.append(s); }

}  // namespace tonvera
