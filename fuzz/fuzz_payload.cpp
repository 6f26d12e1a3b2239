// libFuzzer target for the payload reader: the input is a whole file (image,
// body and trailer) read through a memory stream. The reader may reject it
// with an EPayloadError (EDecompressionError included); any other exception
// escapes to libFuzzer as a finding, and so does a broken invariant below.
//
// An accepted payload is read twice more with MaxItemSize at its largest item
// and one byte below: the first must give the same items, the second must fail.
// That checks the size cap at its boundary, for stored and inflated items.
#include "payload/ExeAdder.h"
#include "payload/MemoryReadStream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace {

// Large enough for every seed and for streams that have to grow the inflation
// buffer several times, small enough that a zlib bomb costs milliseconds.
constexpr int64_t FuzzMaxItemSize = 16 * 1024 * 1024;

void Require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "payload reader invariant broken: %s\n", what);
    std::abort();
}

bool EndsWithMagic(std::span<const uint8_t> input)
{
    constexpr size_t magicSize = sizeof saver::PayloadMagic;
    return input.size() >= magicSize &&
           std::memcmp(input.data() + input.size() - magicSize, saver::PayloadMagic, magicSize) == 0;
}

struct TOutcome {
    bool Accepted = false;
    saver::TItemTypes Items;
    std::vector<int32_t> Stored;
};

TOutcome Read(std::span<const uint8_t> input, int64_t maxItemSize)
{
    saver::TMemoryReadStream stream(input);
    TOutcome outcome;
    // Leftovers from an earlier read must not survive this one, whatever happens.
    outcome.Items.resize(1);
    outcome.Items[0].Name = "stale";
    outcome.Stored.push_back(-1);
    saver::TPayloadReadOptions options;
    options.MaxItemSize = maxItemSize;
    options.StoredSizes = &outcome.Stored;
    try {
        saver::ReadPayloadItems(stream, outcome.Items, options);
    } catch (const saver::EPayloadError& error) {
        Require(EndsWithMagic(input), "only an input ending with the magic is rejected");
        Require(outcome.Items.empty(), "a rejected payload leaves no items");
        Require(outcome.Stored.empty(), "a rejected payload leaves no stored lengths");
        Require(std::strlen(error.what()) > 0, "the error says what is wrong");
        return outcome;
    }
    outcome.Accepted = true;
    if (!EndsWithMagic(input))
        Require(outcome.Items.empty() && outcome.Stored.empty(), "an input without the magic has no items");
    return outcome;
}

// Reads every byte, so ASan reports a block shorter than its Size.
uint8_t Touch(const saver::TItemType& item)
{
    uint8_t sum = 0;
    for (int32_t i = 0; i < item.Size; ++i)
        sum = static_cast<uint8_t>(sum + item.Bytes()[i]);
    return sum;
}

void CheckItems(std::span<const uint8_t> input, const TOutcome& outcome, int64_t maxItemSize)
{
    const saver::TItemTypes& items = outcome.Items;
    Require(outcome.Stored.size() == items.size(), "one stored length per item");
    int64_t storedBytes = 0;
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const saver::TItemType& item = items[i];
        int32_t stored = outcome.Stored[i];
        Require(item.Size >= 0, "Size is not negative");
        Require(item.Size <= maxItemSize, "Size stays within MaxItemSize");
        Require((item.Data == nullptr) == (item.Size == 0), "Data is null exactly when Size is 0");
        Require(item.Name.size() <= input.size(), "the name came from the input");
        if (!item.Compressed)
            Require(item.Size == std::max(stored, 0), "a stored item keeps its stored length");
        storedBytes += std::max(stored, 0);
        sink = static_cast<uint8_t>(sink + Touch(item));
    }
    Require(storedBytes <= static_cast<int64_t>(input.size()), "stored data came from the input");
}

bool SameItems(const saver::TItemTypes& a, const saver::TItemTypes& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const saver::TItemType& x, const saver::TItemType& y) {
        return x.Name == y.Name && x.Compressed == y.Compressed && x.Size == y.Size &&
               (x.Size == 0 || std::memcmp(x.Bytes(), y.Bytes(), static_cast<size_t>(x.Size)) == 0);
    });
}

int32_t LargestSize(const saver::TItemTypes& items)
{
    int32_t largest = 0;
    for (const saver::TItemType& item : items)
        largest = std::max(largest, item.Size);
    return largest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> input(data, size);
    TOutcome full = Read(input, FuzzMaxItemSize);
    if (!full.Accepted)
        return 0;
    CheckItems(input, full, FuzzMaxItemSize);

    int32_t largest = LargestSize(full.Items);
    if (largest == 0)
        return 0;
    TOutcome atCap = Read(input, largest);
    Require(atCap.Accepted, "an item as large as MaxItemSize is accepted");
    CheckItems(input, atCap, largest);
    Require(SameItems(full.Items, atCap.Items), "the cap does not change accepted items");
    Require(atCap.Stored == full.Stored, "the cap does not change the stored lengths");
    Require(!Read(input, largest - 1).Accepted, "an item above MaxItemSize is rejected");
    return 0;
}
