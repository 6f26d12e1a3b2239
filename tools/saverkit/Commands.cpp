#include "saverkit/Commands.h"

#include "saverkit/JsonText.h"
#include "saverkit/PayloadWriter.h"

#include "payload/ExeAdder.h"
#include "payload/TextUtils.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <ostream>
#include <random>

namespace saverkit {

namespace {

namespace fs = std::filesystem;

constexpr const char* MainHelp =
    "usage: saverkit <command> [options]\n"
    "\n"
    "commands:\n"
    "  build    append a payload of items behind the saver executable\n"
    "  list     print the items of a saver's payload\n"
    "  extract  write one item's plain bytes to a file\n"
    "\n"
    "saverkit <command> --help describes each command.\n";

constexpr const char* BuildHelp =
    "usage: saverkit build --exe SAVER -o OUT [options]\n"
    "\n"
    "Writes OUT: the image of SAVER (without any payload it already carries)\n"
    "followed by a payload of the items below, in the order given. SAVER is never\n"
    "changed, and OUT appears only once it is complete.\n"
    "\n"
    "  --exe FILE          the saver executable (saver.scr)\n"
    "  -o, --out FILE      the saver to write\n"
    "  --item NAME=FILE    an item holding FILE's bytes as they are\n"
    "  --zitem NAME=FILE   an item holding FILE's bytes as a zlib stream\n"
    "  --text NAME=TEXT    an item holding the bytes of TEXT\n"
    "  --key N             the NameKey (decimal or 0x hex); random when not given\n"
    "  --level N           zlib level 0-9 for compressed items (default 6)\n"
    "\n"
    "In NAME, \\xNN stands for the byte NN and \\\\ for a backslash.\n";

constexpr const char* ListHelp =
    "usage: saverkit list FILE [--json]\n"
    "\n"
    "Prints index, name, compressed flag, stored size and plain size of every item.\n"
    "With --json: an array of objects with the fields index, name, compressed,\n"
    "stored_size and plain_size; each name byte is the code point of its value.\n";

constexpr const char* ExtractHelp =
    "usage: saverkit extract FILE NAME -o OUT\n"
    "\n"
    "Writes the plain bytes of the first item called NAME to OUT.\n";

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks the arguments of one command.
class TArguments {
public:
    TArguments(const std::vector<std::string>& args, size_t first) : args_(args), at_(first) {}

    bool Done() const { return at_ >= args_.size(); }
    const std::string& Next() { return args_[at_++]; }
    std::string ValueOf(const std::string& option)
    {
        if (Done())
            throw EUsage(option + " needs a value");
        return Next();
    }

private:
    const std::vector<std::string>& args_;
    size_t at_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EBuildError("cannot open " + path);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw EBuildError("cannot read " + path);
    return bytes;
}

// Writes a sibling file and renames it over path when every byte is written,
// so a failure never leaves a half-written output behind.
void WriteFileAtomically(const std::string& path, std::span<const uint8_t> first, std::span<const uint8_t> second)
{
    fs::path target(path);
    fs::path partial = target;
    partial += ".partial-" + std::to_string(std::random_device{}());
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out)
            throw EBuildError("cannot create " + partial.string());
        out.write(reinterpret_cast<const char*>(first.data()), static_cast<std::streamsize>(first.size()));
        out.write(reinterpret_cast<const char*>(second.data()), static_cast<std::streamsize>(second.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            throw EBuildError("cannot write " + path);
        }
    }
    std::error_code error;
    fs::rename(partial, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw EBuildError("cannot write " + path + ": " + error.message());
    }
}

uint32_t ParseNumber(const std::string& text, const std::string& option, uint32_t limit)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    uint64_t value = 0;
    auto [stop, error] = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (error != std::errc() || stop != end || begin == end || value > limit)
        throw EUsage(option + ": not a number from 0 to " + std::to_string(limit) + ": " + text);
    return static_cast<uint32_t>(value);
}

std::pair<std::string, std::string> SplitAssignment(const std::string& text, const std::string& option)
{
    size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw EUsage(option + " expects NAME=VALUE, got: " + text);
    return {DecodeNameArgument(text.substr(0, equals)), text.substr(equals + 1)};
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int Build(TArguments args, std::ostream& out)
{
    std::string exe, output;
    std::vector<TPayloadItem> items;
    TPayloadOptions options;
    bool keyGiven = false;
    while (!args.Done()) {
        const std::string& arg = args.Next();
        if (IsHelp(arg)) {
            out << BuildHelp;
            return 0;
        } else if (arg == "--exe") {
            exe = args.ValueOf(arg);
        } else if (arg == "-o" || arg == "--out") {
            output = args.ValueOf(arg);
        } else if (arg == "--item" || arg == "--zitem") {
            auto [name, file] = SplitAssignment(args.ValueOf(arg), arg);
            items.push_back({name, ReadFileBytes(file), arg == "--zitem"});
        } else if (arg == "--text") {
            auto [name, text] = SplitAssignment(args.ValueOf(arg), arg);
            items.push_back({name, std::vector<uint8_t>(text.begin(), text.end()), false});
        } else if (arg == "--key") {
            options.NameKey = ParseNumber(args.ValueOf(arg), arg, UINT32_MAX);
            keyGiven = true;
        } else if (arg == "--level") {
            options.CompressionLevel = static_cast<int>(ParseNumber(args.ValueOf(arg), arg, 9));
        } else {
            throw EUsage("build: unknown option " + arg);
        }
    }
    if (exe.empty() || output.empty())
        throw EUsage("build needs --exe and -o");
    std::error_code same;
    if (fs::exists(output) && fs::equivalent(exe, output, same))
        throw EBuildError("the output must not be the saver executable itself");
    if (!keyGiven)
        options.NameKey = std::random_device{}();

    std::vector<uint8_t> image = ReadFileBytes(exe);
    image.resize(ImageLength(image));
    WriteFileAtomically(output, image, EncodePayload(items, options));
    return 0;
}

struct TListing {
    saver::TItemTypes Items;
    std::vector<int32_t> StoredSizes;
};

TListing ReadListing(const std::string& file)
{
    if (!fs::is_regular_file(file))
        throw EBuildError("cannot open " + file);
    TListing listing;
    saver::TPayloadReadOptions options;
    options.StoredSizes = &listing.StoredSizes;
    saver::ReadPayloadItems(file, listing.Items, options);
    return listing;
}

void PrintTable(const TListing& listing, std::ostream& out)
{
    out << std::left << std::setw(6) << "index" << std::setw(32) << "name" << std::setw(12) << "compressed"
        << std::setw(13) << "stored_size" << "plain_size\n";
    for (size_t i = 0; i < listing.Items.size(); ++i) {
        const saver::TItemType& item = listing.Items[i];
        out << std::setw(6) << i << std::setw(32) << PrintableName(item.Name) << std::setw(12)
            << (item.Compressed ? "yes" : "no") << std::setw(13) << listing.StoredSizes[i] << item.Size << "\n";
    }
}

void PrintJson(const TListing& listing, std::ostream& out)
{
    out << "[";
    for (size_t i = 0; i < listing.Items.size(); ++i) {
        const saver::TItemType& item = listing.Items[i];
        out << (i ? ",\n " : "\n ") << "{\"index\": " << i << ", \"name\": " << JsonByteString(item.Name)
            << ", \"compressed\": " << (item.Compressed ? "true" : "false")
            << ", \"stored_size\": " << listing.StoredSizes[i] << ", \"plain_size\": " << item.Size << "}";
    }
    out << (listing.Items.empty() ? "]\n" : "\n]\n");
}

int List(TArguments args, std::ostream& out)
{
    std::string file;
    bool json = false;
    while (!args.Done()) {
        const std::string& arg = args.Next();
        if (IsHelp(arg)) {
            out << ListHelp;
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (file.empty() && !arg.starts_with("-")) {
            file = arg;
        } else {
            throw EUsage("list: unexpected argument " + arg);
        }
    }
    if (file.empty())
        throw EUsage("list needs a FILE");
    TListing listing = ReadListing(file);
    if (json)
        PrintJson(listing, out);
    else
        PrintTable(listing, out);
    return 0;
}

int Extract(TArguments args, std::ostream& out)
{
    std::vector<std::string> positional;
    std::string output;
    while (!args.Done()) {
        const std::string& arg = args.Next();
        if (IsHelp(arg)) {
            out << ExtractHelp;
            return 0;
        } else if (arg == "-o" || arg == "--out") {
            output = args.ValueOf(arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || output.empty())
        throw EUsage("extract needs FILE, NAME and -o OUT");
    TListing listing = ReadListing(positional[0]);
    std::string name = DecodeNameArgument(positional[1]);
    for (const saver::TItemType& item : listing.Items) {
        if (item.Name != name)
            continue;
        WriteFileAtomically(output, std::span<const uint8_t>(item.Bytes(), static_cast<size_t>(item.Size)), {});
        return 0;
    }
    throw EBuildError("no item called " + PrintableName(name) + " in " + positional[0]);
}

} // namespace

std::string DecodeNameArgument(const std::string& text)
{
    std::string name;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            name += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && saver::HexDigitValue(text[i + 2]) >= 0 &&
                   saver::HexDigitValue(text[i + 3]) >= 0) {
            name += static_cast<char>(saver::HexDigitValue(text[i + 2]) * 16 + saver::HexDigitValue(text[i + 3]));
            i += 3;
        } else {
            throw EUsage("a backslash in a name must start \\xNN or \\\\: " + text);
        }
    }
    return name;
}

int RunSaverkit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    try {
        if (args.empty()) {
            err << MainHelp;
            return 2;
        }
        const std::string& command = args[0];
        if (IsHelp(command)) {
            out << MainHelp;
            return 0;
        }
        TArguments rest(args, 1);
        if (command == "build")
            return Build(rest, out);
        if (command == "list")
            return List(rest, out);
        if (command == "extract")
            return Extract(rest, out);
        throw EUsage("unknown command " + command);
    } catch (const EUsage& error) {
        err << "saverkit: " << error.what() << "\n(saverkit --help lists the commands)\n";
        return 2;
    } catch (const std::exception& error) {
        err << "saverkit: " << error.what() << "\n";
        return 1;
    }
}

} // namespace saverkit
