#include "httprequest.h"

std::string HttpRequestHead(const std::string& host, const std::string& path) {
    return "GET " + path +
           " HTTP/1.0\nAccept: */*\nAccept-Language: en-au\n"
           "Accept-Encoding: gzip, deflate\n"
           "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows 98)\n"
           "Host: " +
           host + "\nConnection: Keep-Alive";
}
