#pragma once

#include "common/Slot.h"
#include "db/CodeDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// The keys to press after a try: a few typical ones the code set really puts on the remote.
namespace tolbe::core {

// What a test key does, so that a window can name it in its own language.
enum class KeyKind { Power, VolumeUp, VolumeDown, Mute, ChannelUp, ChannelDown, Other };

struct TestKey {
    KeyKind kind = KeyKind::Other;
    std::int32_t keyMapId = 0; // the key-map number of its code
    std::string name;          // the remote key's name in the database (M_RCUFuncKey.KeyName), e.g. "Volume +"
};

struct TestKeyList {
    std::vector<TestKey> keys;
    std::string error; // not empty when the code set could not be encoded or read
};

// Three to five keys that a download of code source `SourceID` into `slot` gives a code: power,
// volume up, mute, channel up, volume down, channel down, in this order of preference, as far as
// the code set has them; keys of other kinds, in the remote's key order, fill the list up to
// three. Fewer only when the code set has fewer keys. Kinds are told from the remote's key names
// (letter case, blanks and the words "vol", "ch", "prog", "up", "down" as the names spell them).
// Never throws.
TestKeyList TestKeysFor(const db::CodeDatabase& database, Slot slot, std::int32_t SourceID);

} // namespace tolbe::core
