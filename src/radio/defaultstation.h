// The channel the radio plays when none has ever been chosen: the application resource
// "defaultstation", a property list naming the bundled station's channel of every track.
//
// Threads: any thread.
#pragma once

#include "platform/plist.h"

namespace tonvera {

// The resource's channel record (a dict with "id" and "name"). Should the compiled-in resource not
// parse, the same record is built directly, so the radio always has a channel to start with.
PlistValue defaultStation();

}  // namespace tonvera
