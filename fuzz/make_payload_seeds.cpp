// Writes the seed corpus of fuzz_payload into the folder given on the command
// line: whole files made by the builder's own writer, one per layout the reader
// has to handle, plus a few damaged zlib streams the writer would never produce.
#include "payload/ExeAdder.h"
#include "saverkit/PayloadWriter.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

using saverkit::TPayloadItem;
using TBytes = std::vector<uint8_t>;

TBytes BytesOf(const std::string& text) { return TBytes(text.begin(), text.end()); }

TBytes Concat(TBytes front, const TBytes& back)
{
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

TBytes Encode(const std::vector<TPayloadItem>& items, uint32_t nameKey = 0, int level = -1)
{
    saverkit::TPayloadOptions options;
    options.NameKey = nameKey;
    options.CompressionLevel = level;
    return saverkit::EncodePayload(items, options);
}

// A stand-in for the executable image in front of the payload: a DOS header
// start and a little code-like filler.
TBytes TinyImage()
{
    TBytes image = BytesOf("MZ\x90");
    image.resize(64, 0);
    for (uint8_t i = 0; i < 32; ++i)
        image.push_back(static_cast<uint8_t>(0xC3 ^ i));
    return image;
}

// Inserts bytes between the last record and the trailer and fixes the body
// length so the trailer still points at the body's first byte.
TBytes WithGapBeforeTrailer(TBytes payload, const TBytes& gap)
{
    const size_t trailer = saver::PayloadTrailerSize;
    TBytes magic(payload.end() - 4, payload.end());
    payload.resize(payload.size() - trailer);
    payload.insert(payload.end(), gap.begin(), gap.end());
    auto length = static_cast<uint64_t>(payload.size());
    for (int i = 0; i < 8; ++i)
        payload.push_back(static_cast<uint8_t>(length >> (8 * i)));
    return Concat(std::move(payload), magic);
}

// Sets the compressed flag of the first record, whose name has nameLength
// bytes: the data written as stored then reaches the reader as a zlib stream.
TBytes FlagFirstItemCompressed(TBytes payload, size_t nameLength)
{
    payload.at(saver::PayloadBodyHeaderSize + 4 + nameLength) = 1;
    return payload;
}

TBytes CompressWithDictionary(const TBytes& plain, const std::string& dictionary)
{
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("deflateInit failed");
    deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
    TBytes packed(deflateBound(&stream, static_cast<uLong>(plain.size())));
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = packed.data();
    stream.avail_out = static_cast<uInt>(packed.size());
    int result = deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate with a dictionary did not finish");
    return packed;
}

// Text that deflate packs well but not to nothing, like a movie's ActionScript.
TBytes ScriptLike(size_t size)
{
    static const std::string words[] = {"gotoAndPlay", "_root", "stop();", "onEnterFrame", "this._x += ", "\n"};
    TBytes out;
    uint32_t state = 12345;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const std::string& word = words[(state >> 16) % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(static_cast<uint8_t>('0' + (state >> 24) % 10));
    }
    out.resize(size);
    return out;
}

std::vector<std::pair<std::string, TBytes>> Seeds()
{
    const TBytes movie = Concat(BytesOf("FWS\x06"), ScriptLike(200));
    const TPayloadItem title{"title", BytesOf("Sample saver"), false};
    const TPayloadItem loop{"loop", {1}, false};
    const TPayloadItem packedMovie{"movie", movie, true};

    std::vector<std::pair<std::string, TBytes>> seeds;
    seeds.emplace_back("no-payload-image", TinyImage());
    seeds.emplace_back("empty-payload", Encode({}));
    seeds.emplace_back("stored-items", Encode({TPayloadItem{"movie", movie, false}, title, loop}));
    seeds.emplace_back("compressed-level1", Encode({packedMovie, title}, 0, 1));
    seeds.emplace_back("compressed-level6", Encode({packedMovie, loop}, 0, 6));
    seeds.emplace_back("compressed-level9", Encode({title, packedMovie}, 0, 9));
    seeds.emplace_back("empty-items", Encode({TPayloadItem{"stored", {}, false}, TPayloadItem{"packed", {}, true},
                                              TPayloadItem{"", {}, false}}));
    seeds.emplace_back("duplicate-names", Encode({title, TPayloadItem{"title", BytesOf("Second"), true}, title}));
    // Only the key's low byte 0x78 ('x') counts; the name byte equal to it becomes a zero.
    seeds.emplace_back("key-upper-bytes", Encode({TPayloadItem{"box", BytesOf("data"), false}, packedMovie}, 0xA5C3E178u));
    seeds.emplace_back("gap-before-trailer", WithGapBeforeTrailer(Encode({title, packedMovie}), BytesOf("unused tail")));
    seeds.emplace_back("image-and-payload", Concat(TinyImage(), Encode({packedMovie, title, loop}, 0x5Au)));
    // Packs far better than 1:4, so the inflation buffer has to grow several times.
    TBytes frames;
    for (int i = 0; i < 1500; ++i)
        frames.insert(frames.end(), movie.begin(), movie.end());
    seeds.emplace_back("inflation-grows", Encode({TPayloadItem{"frames", frames, true}}, 0, 9));
    // One byte more than the fuzzer's item size cap: rejected while inflating.
    seeds.emplace_back("inflation-cap", Encode({TPayloadItem{"bomb", TBytes(16 * 1024 * 1024 + 1, 0), true}}, 0, 9));

    const TBytes stream = saverkit::ZlibCompress(movie, 6);
    TBytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
    seeds.emplace_back("zlib-cut-short", FlagFirstItemCompressed(Encode({TPayloadItem{"movie", cut, false}}), 5));
    TBytes corrupt = stream;
    corrupt[corrupt.size() / 2] ^= 0x55;
    seeds.emplace_back("zlib-corrupt", FlagFirstItemCompressed(Encode({TPayloadItem{"movie", corrupt, false}}), 5));
    TBytes withDictionary = CompressWithDictionary(movie, "gotoAndPlay_root");
    seeds.emplace_back("zlib-dictionary",
                       FlagFirstItemCompressed(Encode({TPayloadItem{"movie", withDictionary, false}}), 5));
    return seeds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        for (const auto& [name, bytes] : Seeds()) {
            std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!file)
                throw std::runtime_error("cannot write " + (folder / name).string());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_payload_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
