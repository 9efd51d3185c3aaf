// The code of the backend bundles that the tests lay out. Each principal class appends what
// happens to it, one line per event, to the file named by TWAIN_TEST_BACKEND_LOG, so that the
// tests see it across loads and unloads of the code:
//   alloc <class>
//   init <class> identity=<hex of the 156 bytes> keys=<key,key,...> | keys=null
//   triplet <class> origin=<pointer> dg=<n> dat=<n> msg=<n> data=<pointer>
//   destroy <class>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/twain/support/hex_text.hpp"
#include "twain/backend/data_source_backend.hpp"

namespace {

void log(const std::string& line) {
    const char* path = std::getenv("TWAIN_TEST_BACKEND_LOG");
    if (!path) return;
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string keys(const platform::plist::Value& dictionary) {
    if (dictionary.is_null()) return "null";
    std::string text;
    for (const auto& entry : dictionary.entries()) {
        if (!text.empty()) text += ',';
        text += entry.first;
    }
    return text;
}

std::string pointer(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

class LoggingBackend : public twain::DataSourceBackend {
public:
    explicit LoggingBackend(const char* name) : name_(name) { log(std::string("alloc ") + name_); }
    ~LoggingBackend() override { log(std::string("destroy ") + name_); }

    bool initWithIdentity(twain::TW_IDENTITY identity,
                          const platform::plist::Value& dictionary) noexcept override {
        log(std::string("init ") + name_ + " identity=" +
            twain_testing::hex(&identity, sizeof identity) + " keys=" + keys(dictionary));
        return accepts();
    }

    // The low 16 bits are the data argument type, so that the caller can tell the result was
    // cut rather than passed whole.
    twain::TW_UINT32 sendTripletWithSource(twain::pTW_IDENTITY origin, twain::TW_UINT32 dataGroup,
                                           twain::TW_UINT32 data, twain::TW_UINT32 message,
                                           twain::TW_MEMREF dataPtr) noexcept override {
        log(std::string("triplet ") + name_ + " origin=" + pointer(origin) +
            " dg=" + std::to_string(dataGroup) + " dat=" + std::to_string(data) +
            " msg=" + std::to_string(message) + " data=" + pointer(dataPtr));
        return 0xABCD0000u | data;
    }

protected:
    virtual bool accepts() const noexcept = 0;

private:
    const char* name_;
};

class Recorder final : public LoggingBackend {
public:
    Recorder() : LoggingBackend("RecordingBackend") {}

private:
    bool accepts() const noexcept override { return true; }
};

class Refuser final : public LoggingBackend {
public:
    Refuser() : LoggingBackend("RefusingBackend") {}

private:
    bool accepts() const noexcept override { return false; }
};

class Outdated final : public LoggingBackend {
public:
    Outdated() : LoggingBackend("OutdatedBackend") {}

private:
    bool accepts() const noexcept override { return true; }
};

constexpr twain::DataSourceBackendClass outdated() {
    auto principal = twain::principalClass<Outdated>();
    principal.interfaceVersion = twain::kDataSourceBackendInterfaceVersion + 1;
    return principal;
}

}  // namespace

extern "C" {
VELMORA_TWAIN_EXPORT extern const twain::DataSourceBackendClass RecordingBackend;
VELMORA_TWAIN_EXPORT extern const twain::DataSourceBackendClass RefusingBackend;
VELMORA_TWAIN_EXPORT extern const twain::DataSourceBackendClass OutdatedBackend;
VELMORA_TWAIN_EXPORT extern const int NotAClass;
}

const twain::DataSourceBackendClass RecordingBackend = twain::principalClass<Recorder>();
const twain::DataSourceBackendClass RefusingBackend = twain::principalClass<Refuser>();
const twain::DataSourceBackendClass OutdatedBackend = outdated();
const int NotAClass = 0;
