#include "demo_http.h"

#include <random>

std::string cookieValue(const httplib::Request& request, const std::string& name) {
    const size_t headers = request.get_header_value_count("Cookie");
    for (size_t h = 0; h < headers; ++h) {
        const std::string line = request.get_header_value("Cookie", h);
        size_t start = 0;
        while (start < line.size()) {
            size_t end = line.find(';', start);
            if (end == std::string::npos)
                end = line.size();
            std::string pair = line.substr(start, end - start);
            start = end + 1;
            pair.erase(0, pair.find_first_not_of(' '));
            if (pair.compare(0, name.size() + 1, name + "=") == 0) {
                return pair.substr(name.size() + 1);
            }
        }
    }
    return {};
}

std::string randomHex(size_t digits) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < digits; ++i)
        text += kHex[random() % 16];
    return text;
}

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body>" + body + "</body></html>\n";
}

std::string japanTime(std::time_t seconds) {
    const std::time_t shifted = seconds + 9 * 3600;
    std::tm parts{};
    gmtime_r(&shifted, &parts);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+09:00", &parts);
    return text;
}
