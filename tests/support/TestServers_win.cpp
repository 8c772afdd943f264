#include "support/TestServers_win.h"

#include <wincrypt.h>

#include <cstdlib>
#include <cstring>

#include "support/PackageFixture.h"

namespace vel {
namespace testsupport {

namespace {
constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
}

std::string Env(const char* name) {
    char buffer[1024];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool ServersUp() { return !Env("VEL_HTTP_PORT").empty(); }

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
    return s;
}

std::string ServerFile(const std::string& name) {
    std::string path = "Z:" + Env("VEL_SRV_DIR") + "/" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string HttpUrl(const std::string& path) { return "http://127.0.0.1:" + Env("VEL_HTTP_PORT") + path; }
std::string FaultUrl(const std::string& path) { return "http://127.0.0.1:" + Env("VEL_FAULT_PORT") + path; }
std::string HttpsUrl(const char* portVar, const std::string& path) {
    return "https://localhost:" + Env(portVar) + path;
}

std::string RelayUrl(const std::string& path) { return "http://127.0.0.1:" + Env("VEL_RELAY_PORT") + path; }

RelayCounts RelayCountsOf(const std::string& key) {
    RelayCounts c;
    const std::string text = ReadWholeFile(ServerFile("relay-stats.txt"));
    const std::string start = key + " ";
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, start.size(), start) != 0) continue;
        const auto field = [&line](const char* name) {
            const size_t p = line.find(std::string(" ") + name + "=");
            return p == std::string::npos ? -1LL : std::atoll(line.c_str() + p + std::strlen(name) + 2);
        };
        c.relayed = field("relayed");
        c.body = field("body");
        c.requests = field("requests");
        c.cuts = field("cuts");
    }
    return c;
}

TrustedTestCa::TrustedTestCa() : der_(ReadWholeFile(ServerFile("ca.der"))) {
    added_ = !der_.empty() &&
             CertAddEncodedCertificateToSystemStoreA("Root", reinterpret_cast<const BYTE*>(der_.data()),
                                                     static_cast<DWORD>(der_.size()));
}

TrustedTestCa::~TrustedTestCa() {
    if (!added_) return;
    const auto* bytes = reinterpret_cast<const BYTE*>(der_.data());
    PCCERT_CONTEXT ca = CertCreateCertificateContext(X509_ASN_ENCODING, bytes, static_cast<DWORD>(der_.size()));
    HCERTSTORE store = CertOpenSystemStoreA(0, "Root");
    if (ca && store) {
        if (PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca, nullptr))
            CertDeleteCertificateFromStore(found);  // frees found
    }
    if (store) CertCloseStore(store, 0);
    if (ca) CertFreeCertificateContext(ca);
}

SystemProxy::SystemProxy(const std::string& server) {
    RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key_.put(),
                    nullptr);
    enableSaved_ = Save("ProxyEnable", enable_);
    serverSaved_ = Save("ProxyServer", server_);
    const DWORD on = 1;
    RegSetValueExA(key_.get(), "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    RegSetValueExA(key_.get(), "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));
}

SystemProxy::~SystemProxy() {
    Restore("ProxyEnable", enableSaved_, enable_);
    Restore("ProxyServer", serverSaved_, server_);
}

bool SystemProxy::Save(const char* name, Value& v) {
    DWORD size = 0;
    if (RegQueryValueExA(key_.get(), name, nullptr, &v.type, nullptr, &size) != ERROR_SUCCESS) return false;
    v.data.resize(size);
    return RegQueryValueExA(key_.get(), name, nullptr, &v.type, v.data.data(), &size) == ERROR_SUCCESS;
}

void SystemProxy::Restore(const char* name, bool saved, const Value& v) {
    if (saved)
        RegSetValueExA(key_.get(), name, 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
    else
        RegDeleteValueA(key_.get(), name);
}

}  // namespace testsupport
}  // namespace vel
