#include "Server.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>
#include <vector>

#include "Export.h"
#include "Form.h"
#include "Names.h"
#include "Text.h"
#include "platform/Text.h"

namespace zilba_server {

namespace {

namespace fs = std::filesystem;
using httplib::Request;
using httplib::Response;

// Where the upload's Content-Type is kept once it is out of httplib's sight (see Serve).
constexpr const char* kFormTypeHeader = "X-Zilba-Server-Form-Type";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";

// What the handler of the current request adds to its log line. The logger runs on the
// thread that ran the handler, right after it.
thread_local std::string t_logNote;

std::mutex g_stdoutMutex;

// The answer echoes what the request named (a site, a file) as it came: a Windows program sends
// its ANSI code page, so such an answer says so rather than claim UTF-8.
void Answer(Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\r\n", zc::IsUtf8(text) ? kText : "text/plain; charset=windows-1252");
}

std::string_view RawPath(const std::string& target) {
    return std::string_view(target).substr(0, target.find('?'));
}

// %XX escapes decoded; everything else, '+' included, as it came. The program does not encode
// the import's query, and file names may hold a '+'.
std::string Unescape(std::string_view s) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The redirect target must stay on this server: a path, not "//host", and fit for a header.
bool IsRedirectPath(std::string_view path) {
    if (path.empty() || path[0] != '/' || path.substr(0, 2) == "//") return false;
    for (char c : path) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '"' || c == '<' || c == '>' || c == '\\') return false;
    }
    return true;
}

std::string Errno(int err) { return std::strerror(err); }

void LogRequest(const Request& req, const Response& res) {
    std::string line = (req.method.empty() ? "-" : Printable(req.method, 20)) + " " +
                       (req.target.empty() ? "-" : Printable(req.target, 400)) + " " +
                       std::to_string(res.status);
    if (!t_logNote.empty()) line += " " + t_logNote;
    t_logNote.clear();
    std::lock_guard<std::mutex> lock(g_stdoutMutex);
    std::cout << line << std::endl;
}

}  // namespace

ZilbaServer::ZilbaServer(std::string dataFolder) : data_(std::move(dataFolder)) {
    // Read before the server's threads start: umask() cannot be read without setting it.
    mode_t mask = ::umask(0);
    ::umask(mask);
    fileMode_ = 0666 & ~mask;
    pages_.insert("/none.html");
}

void ZilbaServer::Serve(httplib::Server& http) {
    // httplib parses any multipart/form-data body itself before a handler sees it, and refuses
    // the program's (see Form.h). The request it passes here is its own non-const object, so
    // the Content-Type can be moved aside; the body then arrives raw in req.body.
    http.set_pre_routing_handler([](const Request& req, Response&) {
        auto& request = const_cast<Request&>(req);
        request.headers.erase(kFormTypeHeader);  // only ever set here, never taken from a client
        auto type = request.headers.find("Content-Type");
        if (type != request.headers.end() &&
            Lower(type->second).find("multipart/form-data") != std::string::npos) {
            std::string value = type->second;
            request.headers.erase(type);
            request.headers.emplace(kFormTypeHeader, value);
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    http.Post(kUploadPath, [this](const Request& req, Response& res) { Upload(req, res); });
    http.Get(kUploadPath, [](const Request&, Response& res) {
        res.set_header("Allow", "POST");
        Answer(res, 405, "The upload script takes POST requests only");
    });
    http.Get(kImportPath, [this](const Request& req, Response& res) { Import(req, res); });
    http.Get(".*", [this](const Request& req, Response& res) { Page(req, res); });

    http.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const Request& req, Response& res) {
            if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
            if (res.status == 404) Answer(res, 404, "Not found: " + Printable(req.path, 400));
            else if (res.status == 413) Answer(res, 413, "The request is larger than this server takes");
            else if (res.status == 400)
                Answer(res, 400, "Bad request: its request line, headers or body could not be read "
                                 "(a POST needs a Content-Length)");
            else Answer(res, res.status, "Request refused (HTTP " + std::to_string(res.status) + ")");
            return httplib::Server::HandlerResponse::Handled;
        }));
    http.set_exception_handler([](const Request&, Response& res, std::exception_ptr error) {
        std::string what = "unknown error";
        try {
            if (error) std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        Answer(res, 500, "Internal error: " + what);
    });
    http.set_logger(LogRequest);
}

void ZilbaServer::Upload(const Request& req, Response& res) {
    std::string error;
    std::string type = req.has_header(kFormTypeHeader) ? req.get_header_value(kFormTypeHeader)
                                                        : req.get_header_value("Content-Type");
    auto boundary = FormBoundary(type, error);
    if (!boundary) return Answer(res, 400, "Upload refused: " + error);
    Form form = SplitForm(req.body, *boundary);
    if (!form.error.empty()) return Answer(res, 400, "Upload refused: the body does not read: " + form.error);

    const FormPart* redirect = nullptr;
    const FormPart* upPath = nullptr;
    std::vector<const FormPart*> files;
    for (const FormPart& part : form.parts) {
        if (part.filename) {
            files.push_back(&part);
            continue;
        }
        const FormPart** field = part.name == "urlredir" ? &redirect : part.name == "up_path" ? &upPath : nullptr;
        if (!field) continue;  // other fields carry nothing this server uses
        if (*field) return Answer(res, 400, "Upload refused: the field " + part.name + " is given twice");
        *field = &part;
    }
    if (!upPath) return Answer(res, 400, "Upload refused: no up_path field");
    if (!redirect) return Answer(res, 400, "Upload refused: no urlredir field");
    if (files.empty()) return Answer(res, 400, "Upload refused: no file part (a part with a filename)");
    std::string target(redirect->content);
    if (!IsRedirectPath(target))
        return Answer(res, 400, "Upload refused: urlredir \"" + Printable(target) +
                                    "\" is not a path on this server starting with /");

    auto folder = UploadFolder(upPath->content, error);
    if (!folder) return Answer(res, 400, "Upload refused: " + error);
    std::vector<std::string> names;
    for (const FormPart* file : files) {
        auto name = UploadName(*file->filename, error);
        if (!name) return Answer(res, 400, "Upload refused: " + error);
        names.push_back(*name);
    }

    // Everything is checked before anything is written: a refused upload leaves no trace.
    const std::string dir = data_ + "/" + *folder;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir))
        return Answer(res, 500, "Cannot create the folder " + dir + ": " + (ec ? ec.message() : "not a folder"));
    for (size_t i = 0; i < files.size(); ++i) {
        std::string failure = Store(dir, names[i], files[i]->content);
        if (!failure.empty()) return Answer(res, 500, "Cannot store " + dir + "/" + names[i] + ": " + failure);
        if (!t_logNote.empty()) t_logNote += ", ";
        t_logNote += "stored " + dir + "/" + names[i] + " (" + std::to_string(files[i]->content.size()) +
                     " bytes) from \"" + Printable(*files[i]->filename, 1024) + "\"";
    }

    {
        std::lock_guard<std::mutex> lock(pagesMutex_);
        pages_.insert(std::string(RawPath(target)));
    }
    res.status = 303;
    res.set_header("Location", target);
    res.set_content("<html><body><p>Upload stored. <a href=\"" + target + "\">Continue</a></p></body></html>\r\n",
                    kHtml);
}

std::string ZilbaServer::Store(const std::string& folder, const std::string& name,
                               std::string_view bytes) const {
    // Written under a temporary name in the same folder and renamed over the target at the
    // end, so a broken upload never replaces a good file with half of a new one.
    std::string temp = folder + "/.zilba-upload-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return Errno(errno);
    auto fail = [&](int err) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.c_str());
        return Errno(err);
    };
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        done += static_cast<size_t>(n);
    }
    if (::fchmod(fd, fileMode_) != 0 || ::fsync(fd) != 0) return fail(errno);
    int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return fail(errno);
    if (::rename(temp.c_str(), (folder + "/" + name).c_str()) != 0) return fail(errno);
    return {};
}

void ZilbaServer::Import(const Request& req, Response& res) {
    // The query is read raw: its first item has no '=', and httplib's reading of the rest
    // would turn a '+' in a file name into a space.
    size_t mark = req.target.find('?');
    std::string_view query = mark == std::string::npos ? std::string_view{}
                                                       : std::string_view(req.target).substr(mark + 1);
    if (query.empty())
        return Answer(res, 400, std::string("Import refused: the query must be ?") + kImportProgram +
                                    "&site=SITE&file=FILE");
    std::vector<std::string_view> items;
    for (size_t start = 0; start <= query.size();) {
        size_t amp = query.find('&', start);
        if (amp == std::string_view::npos) amp = query.size();
        items.push_back(query.substr(start, amp - start));
        start = amp + 1;
    }
    if (Lower(Unescape(items.front())) != Lower(kImportProgram))
        return Answer(res, 404, std::string("No such program: \"") + Printable(Unescape(items.front())) +
                                    "\"; dwsrun here runs " + kImportProgram + " only");
    std::optional<std::string> site, file;
    for (size_t i = 1; i < items.size(); ++i) {
        std::string_view item = items[i];
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) continue;
        std::string key = Lower(Unescape(item.substr(0, eq)));
        std::optional<std::string>* slot = key == "site" ? &site : key == "file" ? &file : nullptr;
        if (slot && !*slot) *slot = Unescape(item.substr(eq + 1));
    }
    if (!site || !file) return Answer(res, 400, "Import refused: the query needs site= and file=");
    std::string error;
    if (!IsPlainName(*site, error)) return Answer(res, 400, "Import refused: site: " + error);
    if (!IsPlainName(*file, error)) return Answer(res, 400, "Import refused: file: " + error);

    const std::string path = data_ + "/zilba/" + *site + "/p_zilba/import/" + *file;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return Answer(res, 404, "No export file " + *file + " has been uploaded for site " + *site +
                                    " (looked for " + path + ")");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) return Answer(res, 500, "Cannot read " + path);

    ExportCheck check = CheckExport(text.str());
    if (!check.ok) {
        Answer(res, 422, "Import refused\r\nSite: " + *site + "\r\nFile: " + *file + "\r\nLine " +
                             std::to_string(check.line) + ": " + check.problem);
        t_logNote = "refused " + path + " at line " + std::to_string(check.line);
        return;
    }
    Answer(res, 200, "Import accepted\r\nSite: " + *site + "\r\nFile: " + *file + "\r\nEvents: " +
                         std::to_string(check.events));
    t_logNote = "imported " + path + " (" + std::to_string(check.events) + " events)";
}

void ZilbaServer::Page(const Request& req, Response& res) {
    std::string path(RawPath(req.target));
    bool known;
    {
        std::lock_guard<std::mutex> lock(pagesMutex_);
        known = pages_.count(path) != 0;
    }
    if (!known) return Answer(res, 404, "Not found: " + Printable(path, 400));
    res.status = 200;
    res.set_content("<html><head><title>Zilba</title></head><body><p>Upload received.</p></body></html>\r\n",
                    kHtml);
}

}  // namespace zilba_server
