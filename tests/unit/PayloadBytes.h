// Builds payload bytes field by field, so tests can write exactly the damaged
// layouts the builder refuses to produce.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace saver::test {

class TPayloadBytes {
public:
    explicit TPayloadBytes(std::string image = "MZ-image") : bytes_(image.begin(), image.end()), bodyStart_(bytes_.size()) {}

    TPayloadBytes& Int32(int64_t value) { return Number(value, 4); }
    TPayloadBytes& Int64(int64_t value) { return Number(value, 8); }
    TPayloadBytes& Byte(uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }
    TPayloadBytes& Raw(const std::vector<uint8_t>& raw)
    {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    TPayloadBytes& Text(const std::string& text) { return Raw({text.begin(), text.end()}); }
    // A whole record with a stored name (no XOR: use key 0) and stored data.
    TPayloadBytes& Record(const std::string& name, uint8_t flag, const std::vector<uint8_t>& data)
    {
        Int32(static_cast<int64_t>(name.size())).Text(name).Byte(flag);
        return Int32(static_cast<int64_t>(data.size())).Raw(data);
    }
    // The body length that makes the trailer point at the body's first byte.
    int64_t BodyLength() const { return static_cast<int64_t>(bytes_.size() - bodyStart_); }
    std::vector<uint8_t> WithTrailer() const { return WithTrailer(BodyLength()); }
    std::vector<uint8_t> WithTrailer(int64_t bodyLength) const
    {
        TPayloadBytes copy(*this);
        copy.Int64(bodyLength).Text("PLWS");
        return copy.bytes_;
    }

private:
    TPayloadBytes& Number(int64_t value, int width)
    {
        auto bits = static_cast<uint64_t>(value);
        for (int i = 0; i < width; ++i)
            bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        return *this;
    }

    std::vector<uint8_t> bytes_;
    size_t bodyStart_;
};

} // namespace saver::test
