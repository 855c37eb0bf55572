#include "radio/defaultstation.h"

#include "radio/defaultstation_resource.h"

namespace tonvera {

PlistValue defaultStation() {
  if (auto parsed = PlistValue::fromBytes(kDefaultStationResource); parsed && parsed->isDict())
    return *parsed;
  return PlistValue(PlistValue::Dict{{"id", PlistValue("all")}, {"name", PlistValue("全部")}});
}

}  // namespace tonvera
