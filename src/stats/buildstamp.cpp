// The build stamp comes to this one file only, so a new stamp recompiles nothing else.
#include "stats/buildstamp_value.h"
#include "stats/machineinfo.h"

#ifndef TONVERA_BUILD_STAMP
#error "TONVERA_BUILD_STAMP must be defined by the build (yyMMddHHmm)"
#endif

namespace tonvera {

std::string buildVersionCode() { return TONVERA_BUILD_STAMP; }

}  // namespace tonvera
