// encipheredprobe: writes to its standard output the plain text of a constant
// that it holds only in enciphered form, made at compile time. The test beside
// it reads the output and looks through this program's bytes for the plain
// text (which must be missing) and the enciphered one (which must be there).
#include "EncipheredProbeText.h"

#include "payload/EncipheredConstant.h"
#include "payload/TextUtils.h"

#include <cstdio>
#include <string>

namespace {

constexpr auto Constant = saver::EncipherConstant(SAVER_ENCIPHERED_PROBE_TEXT);

} // namespace

int main()
{
    std::string plain = saver::DecodeConstant(Constant.View());
    std::fwrite(plain.data(), 1, plain.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
