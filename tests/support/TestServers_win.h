#pragma once
// The loopback test servers that tests/servers/with-servers.sh starts, as a Windows test sees
// them: their ports and folder, the test CA trusted for a scope, and the prefix's system proxy
// set for a scope. Served bodies hold byte i = (i * 31 + 7) mod 256.
#include <windows.h>

#include <string>
#include <vector>

#include "util/WinHandles.h"

namespace vel {
namespace testsupport {

std::string Env(const char* name);  // empty when unset
bool ServersUp();                   // the command runs under with-servers.sh

std::string Pattern(size_t n);  // the served bodies' bytes
// A file of the servers' folder as Wine sees it.
std::string ServerFile(const std::string& name);

std::string HttpUrl(const std::string& path);   // nginx over HTTP, by address
std::string FaultUrl(const std::string& path);  // the fault server
std::string HttpsUrl(const char* portVar, const std::string& path);  // "https://localhost:<port>"
// The cutting relay in front of nginx over HTTP (tests/servers/cut_relay.py): "/cut/PLAN/NAME"
// fetches NAME, broken as PLAN says.
std::string RelayUrl(const std::string& path);

// What the relay counted for one "PLAN/NAME" (relay-stats.txt); all -1 when it saw no request for it.
struct RelayCounts {
    long long relayed = -1, body = -1;
    long long requests = -1, cuts = -1;
};
RelayCounts RelayCountsOf(const std::string& key);

// Trusts the servers' test CA in the prefix's "Root" store while it lives.
class TrustedTestCa {
public:
    TrustedTestCa();
    ~TrustedTestCa();
    TrustedTestCa(const TrustedTestCa&) = delete;
    TrustedTestCa& operator=(const TrustedTestCa&) = delete;
    bool Added() const { return added_; }

private:
    std::string der_;
    bool added_ = false;
};

// Sets the system proxy of the prefix while it lives and restores what was there.
class SystemProxy {
public:
    explicit SystemProxy(const std::string& server);
    ~SystemProxy();
    SystemProxy(const SystemProxy&) = delete;
    SystemProxy& operator=(const SystemProxy&) = delete;

private:
    struct Value {
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    bool Save(const char* name, Value& v);
    void Restore(const char* name, bool saved, const Value& v);
    ScopedKey key_;
    Value enable_, server_;
    bool enableSaved_ = false, serverSaved_ = false;
};

}  // namespace testsupport
}  // namespace vel
