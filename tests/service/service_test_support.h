#pragma once
// What the service tests share: a demo service started as a child process on loopback, and a
// client set up against it with folders and a cookie store of its own.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/child_process.h"
#include "service/cookie_store.h"
#include "service/service_client.h"
#include "service/service_context.h"
#include "support/temp_folder.h"

namespace service_test {

using TempFolder = TestTempFolder;

// A plain GET with curl, outside the client under test: for the demo service's report.
inline std::string httpGet(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(
        curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) {
            static_cast<std::string*>(user)->append(data, size * count);
            return size * count;
        });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(curl_easy_perform(curl), CURLE_OK) << url;
    curl_easy_cleanup(curl);
    return body;
}

// lumivox-demo-service as a child process, stopped when the object goes.
class DemoService {
public:
    // Starts the service with `arguments` (a lifetime is added so that it can never outlive the
    // test) and waits for its READY line. Check started() afterwards.
    explicit DemoService(std::vector<std::string> arguments = {}) {
        // The classic protocol, the hosts filled in from the READY line: empty until then.
        endpoints_.loginBase.clear();
        endpoints_.webBase.clear();
        endpoints_.protocol = ServiceProtocol::Classic;
        arguments.insert(arguments.begin(), {"--lifetime", "300"});
        const std::string program = std::string(LUMIVOX_PROGRAM_DIR) + "/lumivox-demo-service";
        if (const Status started = child_.start(program, arguments, folder_.path().string());
            !started) {
            ADD_FAILURE() << "cannot start the demo service: " << started.error();
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::string output;
        child_.readToEnd([&](const std::string& chunk) { output += chunk; },
                         [&] {
                             return output.find('\n', output.find("READY ")) != std::string::npos ||
                                    std::chrono::steady_clock::now() > giveUp;
                         });
        const size_t ready = output.find("READY ");
        const size_t end = output.find('\n', ready);
        std::istringstream words(ready == std::string::npos ? ""
                                                            : output.substr(ready, end - ready));
        using Field = std::pair<std::string_view, std::string*>;
        for (std::string word; words >> word;) {
            for (const Field& field :
                 {Field{"login=", &endpoints_.loginBase}, Field{"web=", &endpoints_.webBase},
                  Field{"ca=", &endpoints_.caFile}}) {
                if (word.rfind(field.first, 0) == 0)
                    *field.second = word.substr(field.first.size());
            }
        }
        if (!started())
            ADD_FAILURE() << "the demo service did not get ready: " << output;
    }
    ~DemoService() { child_.terminate(); }

    bool started() const { return !endpoints_.webBase.empty(); }
    const std::string& webBase() const { return endpoints_.webBase; }
    const ServiceEndpoints& endpoints() const { return endpoints_; }

    // How often PATH was asked for ("count PATH N" in the service's report).
    int count(const std::string& path) const {
        const std::vector<std::string> values = report("count " + path + " ");
        return values.empty() ? 0 : std::stoi(values.front());
    }
    // The last value remembered under KEY ("last KEY VALUE"), nothing when none was.
    std::optional<std::string> last(const std::string& key) const {
        const std::vector<std::string> values = report("last " + key + " ");
        return values.empty() ? std::nullopt : std::optional(values.front());
    }
    // The number of requests of every path together.
    int totalRequests() const {
        int total = 0;
        for (const std::string& counted : report("count "))
            total += std::stoi(counted.substr(counted.rfind(' ') + 1));
        return total;
    }

private:
    // The lines of the service's report that begin with `prefix`, without it.
    std::vector<std::string> report(const std::string& prefix) const {
        std::vector<std::string> values;
        std::istringstream lines(httpGet(endpoints_.webBase + "/__stats"));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0)
                values.push_back(line.substr(prefix.size()));
        }
        return values;
    }

    TempFolder folder_;
    ChildProcess child_;
    ServiceEndpoints endpoints_;
};

// The job's fields the client reads and writes.
struct JobFields {
    std::string cookie;
    std::string videoId;
    std::string videoFile;
    int32_t lastDownloadPercent = -1;
};

// A client against some endpoints, with a work folder, a save folder and a cookie store (jar in
// the work folder) of its own, recording what it reports (on the test's thread: the client
// runs there).
class ClientHarness {
public:
    explicit ClientHarness(ServiceEndpoints endpoints)
        : endpoints_(std::move(endpoints)), store_(std::make_unique<CookieStore>(jarPath())) {}

    ServiceClient client() {
        ServiceContext context;
        context.endpoints = endpoints_;
        context.workFolder = work.path().string() + "/";
        context.saveFolder = save.path().string();
        context.isCancelled = [this] { return stop.load(); };
        context.reportError = [this](const std::string& text) { errors.push_back(text); };
        context.reportProgress = [this](int percent) {
            progress.push_back(percent);
            if (stopAtFirstProgress)
                stop = true;
        };
        context.cookieStore = store_.get();
        context.timeouts = timeouts;
        return ServiceClient(context,
                             ServiceJobState{fields.cookie, fields.videoId, fields.videoFile,
                                             fields.lastDownloadPercent});
    }

    std::filesystem::path jarPath() const { return work / CookieStore::kJarFileName; }
    // A new store object on the same jar, as a later run of the program makes.
    void reopenStore() { store_ = std::make_unique<CookieStore>(jarPath()); }
    CookieStore& store() { return *store_; }

    // Logs in with the demo service's default account; the outcome is kept in `login`.
    void logIn(const std::string& password = "p&ss=w+rd%41") {
        login = client().loginToService("demo@example.com", password, false);
    }
    // Sets `stop` after `delay` on a thread of its own.
    void stopAfter(std::chrono::milliseconds delay) {
        stopper_ = std::jthread([this, delay] {
            std::this_thread::sleep_for(delay);
            stop = true;
        });
    }

    TempFolder work;
    TempFolder save;
    JobFields fields;
    ServiceTimeouts timeouts;
    std::atomic<bool> stop{false};
    bool stopAtFirstProgress = false;
    std::vector<std::string> errors;
    std::vector<int> progress;
    Status login;

private:
    ServiceEndpoints endpoints_;
    std::unique_ptr<CookieStore> store_;
    std::jthread stopper_;
};

// Bytes that look like nothing in particular, for a video of the demo service.
inline std::string patternBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// `plain` encrypted with AES-128 in CBC mode and PKCS#7 padding, as the service's segments and
// Chromium's cookie values are.
inline std::string aes128CbcEncrypt(const std::string& plain, const unsigned char* key,
                                    const unsigned char* iv) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    std::string out(plain.size() + 16, '\0');
    int a = 0, b = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr, key, iv);
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &a,
                      reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()) + a, &b);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<size_t>(a + b));
    return out;
}

}  // namespace service_test
