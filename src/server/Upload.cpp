#include <string>
#include <vector>

#include "core/Layout.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "server/Server.h"

namespace zc {

namespace {

// One POST of one file with its own boundary draw; empty when the server answered 200, else
// why the file counts as not accepted.
std::string PostFile(MainForm& f, HttpRequest& request, const std::string& upPath, const std::string& path,
                     const std::string& contentType) {
    size_t drawn = DrawBoundaryIndex();
    const std::string url = UploadUrl(f.ui.Text(Field::Server));
    request.Open("POST", url, false);
    std::vector<std::string> parts;
    parts.push_back(FormDataPart(f, "urlredir", "/none.html"));
    parts.push_back(FormDataPart(f, "up_path", upPath));
    parts.push_back(FormDataPart(f, "up_file1", path, "attachment", contentType));
    std::string boundary = ChooseBoundary(drawn, parts);
    request.SetRequestHeader("Content-Type", MultipartContentType(boundary));
    std::string body = MultipartBody(boundary, parts);
    parts.clear();  // the body holds the file now; keep one copy of it, not two
    request.Send(body);
    if (request.Status() != 200) return "Failed";
    // The server's upload script answers with a redirect to a page of its own; a 200 from a
    // page elsewhere (a guest network's login) means the file never reached it.
    if (!SameServer(url, request.ResponseUrl())) return "Failed (" + AnsweredElsewhereText(request) + ")";
    return {};
}

void Report(MainForm& f, const std::string& shown, const std::string& failure) {
    WriteLog(f, "  .." + shown + ": " + (failure.empty() ? "Success" : failure));
    IncrementCounter(f, failure.empty() ? Field::Success : Field::Failure);
}

}  // namespace

std::string AnsweredElsewhereText(HttpRequest& request) {
    return "the answer came from " + request.ResponseUrl() + ", not from the server";
}

std::vector<std::string> RefuseUnsendableFiles(MainForm& f) {
    std::vector<std::string> bitmaps = f.os.files.ListFiles(ExportFolder(f), "*.bmp");
    RefuseUnsendableFile("The export file's path", f.strExportFile);
    for (const std::string& name : bitmaps) RefuseUnsendableFile("The name of " + name, name);
    return bitmaps;
}

void UploadFiles(MainForm& f) {
    WriteLog(f, "Uploading files to server..");
    // Every setting and name is checked before the first request, so that a run sends all of
    // its files or none.
    RefuseUnsendableSettings(f);
    const std::string folder = ExportFolder(f);
    std::vector<std::string> bitmaps = RefuseUnsendableFiles(f);

    std::string upPath = "/zilba/" + f.ui.Text(Field::Site) + "/p_zilba/import";
    std::unique_ptr<HttpRequest> request = f.os.http.CreateRequest();

    auto send = [&](const std::string& shown, const std::string& name, const std::string& path,
                    const char* contentType) {
        std::string failure = PostFile(f, *request, upPath, path, contentType);
        f.delivery.sent.push_back(name);
        f.delivery.refused += failure.empty() ? 0 : 1;
        Report(f, shown, failure);
    };
    send(f.strExportFile, FileNameOf(f.strExportFile), f.strExportFile, "text/plain");
    for (const std::string& name : bitmaps) send(name, name, folder + kSep + name, "image/bmp");
    f.delivery.allSent = true;
}

}  // namespace zc
