#pragma once
// The demo service playing today's protocol as a child process, and a small libcurl client with
// its own cookie jar that trusts the service's certificate: the tests talk to the demo exactly
// as a client of the real service would.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace demo_test {

struct Answer {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::map<std::string, std::string> headers;  // names in lowercase, the last one wins

    nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
    std::string header(const std::string& lowercaseName) const {
        const auto found = headers.find(lowercaseName);
        return found == headers.end() ? "" : found->second;
    }
};

// A client with a cookie jar of its own (cookies live as long as the object).
class Client {
public:
    explicit Client(std::string caFile) : caFile_(std::move(caFile)), curl_(curl_easy_init()) {
        curl_easy_setopt(curl_.get(), CURLOPT_COOKIEFILE, "");
    }
    // The header lines `headers` go with the request; a `body` makes it a POST.
    Answer get(const std::string& url, const std::vector<std::string>& headers = {},
               const std::string* body = nullptr, const std::string& range = {}) {
        CURL* curl = curl_.get();
        Answer answer;
        curl_slist* list = nullptr;
        for (const std::string& header : headers)
            list = curl_slist_append(list, header.c_str());
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile_.c_str());
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl, CURLOPT_RANGE, range.empty() ? nullptr : range.c_str());
        if (body) {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->c_str());
        } else {
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        }
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Client::append);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
        answer.code = curl_easy_perform(curl);
        for (curl_header* h = nullptr; (h = curl_easy_nextheader(curl, CURLH_HEADER, -1, h));) {
            std::string name = h->name;
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            answer.headers[name] = h->value;
        }
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(list);
        return answer;
    }
    Answer post(const std::string& url, const std::string& body,
                const std::vector<std::string>& headers = {}) {
        return get(url, headers, &body);
    }
    // Puts a cookie for 127.0.0.1 (any port, as cookies ignore ports) into the jar.
    void setCookie(const std::string& name, const std::string& value) {
        const std::string line = "127.0.0.1\tFALSE\t/\tFALSE\t0\t" + name + "\t" + value;
        curl_easy_setopt(curl_.get(), CURLOPT_COOKIELIST, line.c_str());
    }

private:
    static size_t append(char* data, size_t size, size_t count, void* user) {
        static_cast<std::string*>(user)->append(data, size * count);
        return size * count;
    }
    struct CurlFree {
        void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    };
    std::string caFile_;
    std::unique_ptr<CURL, CurlFree> curl_;
};

// lumivox-demo-service --protocol today with `arguments`; the fields of its READY line. The
// first start in a build folder makes the HLS sample with ffmpeg, which takes a while.
class TodayDemo {
public:
    explicit TodayDemo(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), {"--protocol", "today", "--lifetime", "300"});
        const std::string program = std::string(LUMIVOX_PROGRAM_DIR) + "/lumivox-demo-service";
        if (Status started = child_.start(program, arguments, "/"); !started) {
            ADD_FAILURE() << started.error();
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        std::string output;
        child_.readToEnd([&](const std::string& chunk) { output += chunk; },
                         [&] {
                             return output.find('\n', output.find("READY ")) != std::string::npos ||
                                    std::chrono::steady_clock::now() > giveUp;
                         });
        const size_t ready = output.find("READY ");
        std::istringstream words(ready == std::string::npos
                                     ? ""
                                     : output.substr(ready, output.find('\n', ready) - ready));
        for (std::string word; words >> word;) {
            const size_t equals = word.find('=');
            if (equals != std::string::npos)
                fields_[word.substr(0, equals)] = word.substr(equals + 1);
        }
        if (fields_.count("www") == 0)
            ADD_FAILURE() << "the demo service did not get ready: " << output;
    }
    ~TodayDemo() { child_.terminate(); }

    // "account", "www", "nvapi", "comment", "delivery", "asset", "ca", "session", "sample".
    std::string operator[](const std::string& field) const {
        const auto found = fields_.find(field);
        return found == fields_.end() ? "" : found->second;
    }
    // A client with the account's session cookie in its jar (for 127.0.0.1, every port).
    std::unique_ptr<Client> loggedInClient() const {
        auto client = std::make_unique<Client>((*this)["ca"]);
        client->setCookie("user_session", (*this)["session"]);
        return client;
    }

private:
    ChildProcess child_;
    std::map<std::string, std::string> fields_;
};

}  // namespace demo_test
