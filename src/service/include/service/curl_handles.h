#pragma once
// Owning handles for libcurl's objects.

#include <curl/curl.h>

#include <memory>

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlShareCleanup {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
struct CurlSlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlSharePtr = std::unique_ptr<CURLSH, CurlShareCleanup>;
using CurlSlistPtr = std::unique_ptr<curl_slist, CurlSlistFree>;
