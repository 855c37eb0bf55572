#pragma once
// One fuzz input as a property-list file on disk, shared by the libFuzzer target and the corpus
// replay test. The bytes are parsed as a value, then put where the user-defaults store and the taste
// store read them. Aborts when a rule breaks: a parsed value must write out and read back with the
// same type; a file that parses to a dictionary is read whole; any other file is set aside with its
// bytes unchanged; and both stores take a change afterwards and keep it on disk.
//
// The files go to the folders that XDG_CONFIG_HOME and XDG_DATA_HOME name: the caller points them
// at a scratch folder.

#include <cstddef>
#include <cstdint>

namespace tonvera {

int plistFuzzOne(const std::uint8_t* data, std::size_t size);

}  // namespace tonvera
