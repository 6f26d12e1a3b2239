// The payload behind the executable image: a flat list of named items, found
// through a twelve-byte trailer at the very end of the file.
//
//   trailer (last 12 bytes): body length L (int64), magic "PLWS"
//   body (L bytes before the trailer): NameKey (int32), count N (int32), N records
//   record: name length n (int32), n name bytes XORed with the NameKey's low byte,
//           compressed flag (byte), stored length m (int32), m data bytes
//
// All numbers are little-endian two's complement. See docs/payload-format.md.
#pragma once

#include "payload/DataBlock.h"
#include "payload/PayloadError.h"
#include "payload/ReadStream.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace saver {

inline constexpr char PayloadMagic[4] = {'P', 'L', 'W', 'S'};
inline constexpr int64_t PayloadTrailerSize = 12;
// NameKey and N.
inline constexpr int64_t PayloadBodyHeaderSize = 8;
// Name length, flag and stored length of a record with no name and no data.
inline constexpr int64_t PayloadMinRecordSize = 9;
inline constexpr int64_t MaxItemSize = std::numeric_limits<int32_t>::max();

struct TItemType {
    std::string Name;   // the plain key, compared byte for byte over its full length
    TDataBlock Data;    // the plain bytes; null when the item has none
    int32_t Size = 0;   // bytes at Data; 0 when Data is null
    uint8_t Compressed = 0; // the stored flag: nonzero when the payload held a zlib stream

    const uint8_t* Bytes() const { return Data.get(); }
};

// Items in payload order. The list owns every data block; FreeItems (or the
// list's destruction) releases them.
using TItemTypes = std::vector<TItemType>;

struct TPayloadReadOptions {
    // Largest plain size an item may reach; lowered by the fuzzer and tests.
    int64_t MaxItemSize = saver::MaxItemSize;
    // When set, receives the stored length m of every record, in payload order.
    std::vector<int32_t>* StoredSizes = nullptr;
};

std::string XorItemName(const std::string& text, uint8_t key);

// Replaces items with the payload at the end of the stream. No trailer, or no
// "PLWS", leaves items empty without an error. On any error items is left
// empty too, so nothing of a damaged payload can be used.
void ReadPayloadItems(TReadStream& stream, TItemTypes& items, const TPayloadReadOptions& options = {});
void ReadPayloadItems(const std::string& fileName, TItemTypes& items,
                      const TPayloadReadOptions& options = {});

void FreeItems(TItemTypes& items);

} // namespace saver
