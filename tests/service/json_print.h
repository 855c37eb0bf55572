#pragma once
// Readable JSON values in test failure messages.
#include <ostream>

#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace tonvera {
inline void PrintTo(const JsonValue& v, std::ostream* os) { *os << toCanonicalJson(v, true); }
}  // namespace tonvera
