// The signature line of an update-info file, as a stranger on the network may send it: reading it,
// checking it against the agent's key at a chosen time, the agent's decision, and a file signed
// here read back. Input: 8 bytes of clock, then the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "autoupdate/InfoSignature.h"

using namespace vel;

namespace {

bool IsLowerHex(const std::string& s) { return s.find_first_not_of("0123456789abcdef") == std::string::npos; }

const Ed25519Seed& Seed() {
    static const Ed25519Seed seed = [] {
        Ed25519Seed s{};
        for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<uint8_t>(3 * i + 1);
        return s;
    }();
    return seed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const int64_t now = in.I64() >> 2;
    const std::string file = in.Rest();
    static const Ed25519Public key = Ed25519PublicKey(Seed());

    const InfoSignatureCheck read = ReadUpdateInfoSignature(file);
    switch (read.status) {
    case InfoSignatureStatus::Unsigned:
        VEL_FUZZ_CHECK(read.body == file && file.compare(0, 12, "; signature ") != 0);
        break;
    case InfoSignatureStatus::Malformed:
        VEL_FUZZ_CHECK(read.body.empty());
        break;
    case InfoSignatureStatus::Valid:  // well formed
        VEL_FUZZ_CHECK(read.keyId.size() == 16 && IsLowerHex(read.keyId) && read.expires >= 0);
        VEL_FUZZ_CHECK(file.size() > read.body.size() &&
                       file.compare(file.size() - read.body.size(), read.body.size(), read.body) == 0);
        break;
    default:
        VEL_FUZZ_CHECK(false);
    }

    // No stranger's bytes pass the check: only a file signed with the key does.
    const InfoSignatureCheck checked = CheckUpdateInfoSignature(file, key, now);
    VEL_FUZZ_CHECK(checked.status != InfoSignatureStatus::Valid);
    if (read.status != InfoSignatureStatus::Valid) VEL_FUZZ_CHECK(checked.status == read.status);
    std::string usable = "x";
    VEL_FUZZ_CHECK(!UpdateInfoRefusal(UpdateKeyHex(key), UpdateKeyId, file, now, usable).empty() && usable.empty());
    VEL_FUZZ_CHECK(UpdateInfoRefusal("", UpdateKeyId, file, now, usable).empty() && usable == file);

    // Signed here, the same bytes come back, unless they begin with a signature line themselves.
    const int64_t expires = now > 0 ? now + 1 : 0;
    const InfoSignatureCheck back = CheckUpdateInfoSignature(SignUpdateInfo(file, Seed(), expires), key, now);
    if (file.compare(0, 12, "; signature ") == 0) {
        VEL_FUZZ_CHECK(back.status == InfoSignatureStatus::Malformed);
    } else {
        VEL_FUZZ_CHECK(back.status == InfoSignatureStatus::Valid && back.body == file && back.expires == expires);
    }
    return 0;
}
