#include <string>

#include "platform/Paths.h"
#include "server/Server.h"

namespace zc {

void LaunchServerProcess(MainForm& f) {
    std::string file = FileNameOf(f.strExportFile);
    WriteLog(f, "Launching server process: " + GeneralDate(f.os.clock, f.os.clock.Now()));

    std::unique_ptr<HttpRequest> request = f.os.http.CreateRequest();
    std::string server = f.ui.Text(Field::Server);
    std::string site = f.ui.Text(Field::Site);
    request->Open("GET",
                  "http://" + server + "/cgi-bin/dwsrun?Zilba/QXPZILBA.DWO" + "&site=" + site +
                      "&file=" + file,
                  false);
    request->Send({});
    f.delivery.importStatus = request->Status();
    WriteLog(f, "Status: " + std::to_string(f.delivery.importStatus));
    WriteLog(f, request->ResponseText());
    WriteLog(f, "Server process complete: " + GeneralDate(f.os.clock, f.os.clock.Now()));
}

}  // namespace zc
