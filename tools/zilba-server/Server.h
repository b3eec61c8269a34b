#pragma once
// The stand-in's answers: the upload script, the import program, and the pages an upload
// sends the browser on to. Every request is logged to stdout, one line each; an upload's line
// names each file stored and the path its sender gave, in the bytes that came.
#include <sys/types.h>

#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace zilba_server {

constexpr const char* kUploadPath = "/cgi-bin/Zilba/qxupload.pl";
constexpr const char* kImportPath = "/cgi-bin/dwsrun";
constexpr const char* kImportProgram = "Zilba/QXPZILBA.DWO";

class ZilbaServer {
public:
    // `dataFolder` is absolute, exists and is writable.
    explicit ZilbaServer(std::string dataFolder);

    // Routes `http`'s requests to this server.
    void Serve(httplib::Server& http);

private:
    void Upload(const httplib::Request& req, httplib::Response& res);
    void Import(const httplib::Request& req, httplib::Response& res);
    void Page(const httplib::Request& req, httplib::Response& res);

    // Stores `bytes` as `folder`/`name` through a temporary file; empty, or why it failed.
    std::string Store(const std::string& folder, const std::string& name, std::string_view bytes) const;

    std::string data_;
    mode_t fileMode_;  // what a file created here would get under the umask

    // The paths uploads redirected to; they answer 200 from then on.
    std::mutex pagesMutex_;
    std::set<std::string> pages_;
};

}  // namespace zilba_server
