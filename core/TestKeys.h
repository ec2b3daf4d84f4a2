#pragma once

#include "codec/CodeRecord.h"
#include "common/Result.h"
#include "common/Slot.h"
#include "db/CodeDatabase.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The keys to press after a try: a few typical ones the code set really puts on the remote.
namespace tolbe::core {

// What a test key does, so that a window can name it in its own language.
enum class KeyKind { Power, VolumeUp, VolumeDown, Mute, ChannelUp, ChannelDown, Play, Stop, OpenClose, Menu, Other };

// The kind of a key named `name` as the database ("Vol +", "CH-") or a window ("Volume up") spells it.
KeyKind KeyKindOf(const std::string& name);

// The string-table number of the name every window gives a key of `kind` (409-414, 432-435);
// -1 for Other, which keeps its database name.
int KeyNameText(KeyKind kind);

// What kind of device a device type names, for the keys that show best that it responds.
enum class DeviceKind { Television, Receiver, Player, Audio, Other };

// The kind of device type `device` (an M_DeviceTypes name or a code set's DeviceName, which starts
// with it: "DVD Recorder" is a player); a type it does not know is taken as the slot's own kind,
// and the AUX slot's as Other.
DeviceKind DeviceKindOf(const std::string& device, Slot slot);

struct TestKey {
    KeyKind kind = KeyKind::Other;
    std::int32_t keyMapId = 0; // the key-map number of its code
    std::string name;          // the remote key's name in the database (M_RCUFuncKey.KeyName), e.g. "Volume +"
};

// One key a code record gives a code: its key-map number and what the remote sends for it, the
// bytes of its first and second protocol and its code data as hexadecimal text. Two records that
// put the same code on a key send the same signal for it, wherever their bytes lie.
struct KeyCode {
    std::int32_t keyMapId = 0;
    std::string code;
};

// The keys with a code in `record` (a code record of `slot` built with key order `order`, ""
// for the slot's default), each key-map number once, in the remote's key order. Empty when the
// record is not one of that slot.
std::vector<KeyCode> KeyCodesOf(const std::vector<std::uint8_t>& record, const std::string& order, Slot slot);

// The names of the remote's keys by key-map number (M_RCUFuncKey of remote model `RCUModel`);
// empty when the table has none. Never throws.
std::map<std::int32_t, std::string> KeyNames(const db::CodeDatabase& database,
                                             std::uint8_t RCUModel = codec::kSupportedRcuModel);

// Three to five of the keys `present` (KeyCodesOf) that a person can follow for a device of kind
// `kind`: the kind's keys as far as the code set has them (a player: play, stop, open/close,
// menu; a television: volume up, mute, channel up; see TestKeys.cpp), keys of other kinds in the
// remote's key order filling the list up to three, and power always last, as after it the device
// may be off. Kinds are told from the names (letter case, blanks and the words "vol", "ch",
// "prog", "up", "down", "eject" as the names spell them); a key without a name is called "key N".
std::vector<TestKey> ChooseTestKeys(const std::vector<KeyCode>& present,
                                    const std::map<std::int32_t, std::string>& names, DeviceKind kind);

// The test keys (ChooseTestKeys) of a download of code source `SourceID` into `slot` with key order
// `StrKeyDown` (as DownloadRequest::StrKeyDown: nothing takes the source's own), for a device of
// type `device` (DeviceKindOf). Fewer than three only when the code set has fewer keys. Fails when the
// code set cannot be read or encoded.
Result<std::vector<TestKey>> TestKeysFor(const db::CodeDatabase& database, Slot slot, std::int32_t SourceID,
                                         std::optional<std::string> StrKeyDown = std::nullopt,
                                         const std::string& device = {});

} // namespace tolbe::core
