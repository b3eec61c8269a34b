#include <string>
#include <vector>

#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "server/Server.h"

namespace zc {

namespace {

// One POST of one file with its own boundary draw; true when the server answered 200.
bool PostFile(MainForm& f, HttpRequest& request, const std::string& upPath, const std::string& path,
              const std::string& contentType) {
    size_t drawn = DrawBoundaryIndex();
    request.Open("POST", "http://" + f.ui.Text(Field::Server) + "/cgi-bin/Zilba/qxupload.pl", false);
    std::vector<std::string> parts;
    parts.push_back(FormDataPart(f, "urlredir", "/none.html"));
    parts.push_back(FormDataPart(f, "up_path", upPath));
    parts.push_back(FormDataPart(f, "up_file1", path, "attachment", contentType));
    std::string boundary = ChooseBoundary(drawn, parts);
    request.SetRequestHeader("Content-Type", MultipartContentType(boundary));
    std::string body = MultipartBody(boundary, parts);
    parts.clear();  // the body holds the file now; keep one copy of it, not two
    request.Send(body);
    return request.Status() == 200;
}

void Report(MainForm& f, const std::string& shown, bool ok) {
    WriteLog(f, "  .." + shown + ": " + (ok ? "Success" : "Failed"));
    IncrementCounter(f, ok ? Field::Success : Field::Failure);
}

}  // namespace

void UploadFiles(MainForm& f) {
    WriteLog(f, "Uploading files to server..");
    std::string site = f.ui.Text(Field::Site);
    // A line break in the site would forge the parts of every request; send nothing instead.
    if (HasControlCharacter(site)) throw Error(kErrRequest, "The site name holds a control character");
    std::string upPath = "/zilba/" + site + "/p_zilba/import";
    std::unique_ptr<HttpRequest> request = f.os.http.CreateRequest();

    Report(f, f.strExportFile, PostFile(f, *request, upPath, f.strExportFile, "text/plain"));

    for (const std::string& name : f.os.files.ListFiles(ExportFolder(f), "*.bmp"))
        Report(f, name, PostFile(f, *request, upPath, ExportFolder(f) + kSep + name, "image/bmp"));
}

}  // namespace zc
