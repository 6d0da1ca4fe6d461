#pragma once

#include <curl/curl.h>
#include <memory>

namespace orvane::mail::detail {

struct CurlEasyDeleter
{
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

} // namespace orvane::mail::detail
