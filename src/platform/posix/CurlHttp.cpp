#include "platform/posix/CurlHttp.h"

#include <curl/curl.h>

#include <mutex>
#include <optional>
#include <string>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/Waiting.h"

namespace zc::posix {

namespace {

// How long a request may take before it counts as a wait, and how often the windows get their
// turn while it waits: together well inside the 50 ms within which a line should show.
constexpr std::chrono::milliseconds kQuickAnswer{15};
constexpr std::chrono::milliseconds kTurn{10};

[[noreturn]] void Raise(const std::string& description) { throw Error(kErrRequest, description); }

// A line break or another control character would let a setting rewrite the request line or
// add headers of its own, so such text never reaches the wire.
void RefuseControlCharacters(const std::string& text, const char* what) {
    if (HasControlCharacter(text)) Raise(std::string(what) + " holds a control character");
}

struct Answer {
    std::string text;
    bool tooLong = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* answer = static_cast<Answer*>(user);
    if (answer->text.size() + size * count > kMaxAnswerBytes) {
        answer->tooLong = true;
        return 0;  // stops the transfer
    }
    answer->text.append(data, size * count);
    return size * count;
}

// "10 minutes", "1 second": how long a limit is, as a person says it.
std::string InWords(std::chrono::seconds limit) {
    long long n = limit.count();
    const char* unit = "second";
    if (n != 0 && n % 60 == 0) {
        n /= 60;
        unit = "minute";
    }
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

class CurlRequest : public HttpRequest {
public:
    CurlRequest(const CurlHttp& owner) : owner_(owner), curl_(curl_easy_init()), multi_(curl_multi_init()) {
        if (!curl_ || !multi_) {
            curl_easy_cleanup(curl_);
            curl_multi_cleanup(multi_);
            Raise("Unable to create the request object");
        }
    }
    ~CurlRequest() override {
        curl_slist_free_all(headers_);
        curl_easy_cleanup(curl_);
        curl_multi_cleanup(multi_);
    }

    void Open(const std::string& method, const std::string& url, bool) override {
        RefuseControlCharacters(url, "The request URL");
        RefuseControlCharacters(method, "The request method");
        std::string encoded = EncodeUnsafeUrlBytes(url);
        CURLU* parsed = curl_url();
        CURLUcode rc = parsed ? curl_url_set(parsed, CURLUPART_URL, encoded.c_str(), 0)
                              : CURLUE_OUT_OF_MEMORY;
        char* scheme = nullptr;
        if (rc == CURLUE_OK) rc = curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
        bool web = rc == CURLUE_OK && (std::string(scheme) == "http" || std::string(scheme) == "https");
        curl_free(scheme);
        curl_url_cleanup(parsed);
        if (rc != CURLUE_OK) Raise(std::string(curl_url_strerror(rc)) + ": " + url);
        if (!web) Raise("Unsupported protocol: " + url);

        // A reset clears the options of the last request but keeps its connection.
        curl_easy_reset(curl_);
        curl_slist_free_all(headers_);
        headers_ = curl_slist_append(nullptr, "Expect:");
        response_ = Answer{};
        status_ = 0;
        responseUrl_.clear();
        url_ = encoded;
        method_ = method;
        sent_ = false;
    }

    void SetRequestHeader(const std::string& name, const std::string& value) override {
        if (url_.empty()) Raise("The request is not open");
        RefuseControlCharacters(name, "A request header");
        RefuseControlCharacters(value, "A request header");
        if (name.empty() || name.find(':') != std::string::npos) Raise("Invalid request header name: " + name);
        curl_slist* grown = curl_slist_append(headers_, (name + ": " + value).c_str());
        if (!grown) throw std::bad_alloc();
        headers_ = grown;
    }

    void Send(std::string_view body) override {
        if (url_.empty() || sent_) Raise("The request is not open");
        sent_ = true;
        char message[CURL_ERROR_SIZE] = "";
        curl_easy_setopt(curl_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, message);
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, static_cast<long>(owner_.connectTimeout.count()));
        curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, Collect);
        response_ = Answer{};
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &response_);
        if (method_ == "GET") {
            curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
        } else {
            if (method_ != "POST") curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, method_.c_str());
            // The body is sent from the caller's buffer, not copied.
            curl_easy_setopt(curl_, CURLOPT_POST, 1L);
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        }
        std::string late;
        int32_t lateNumber = kErrRequest;
        CURLcode rc = Perform(method_ == "GET" ? 0 : static_cast<curl_off_t>(body.size()), late, lateNumber);
        if (!late.empty()) {
            response_ = Answer{};
            throw Error(lateNumber, late);
        }
        if (rc != CURLE_OK) {
            bool tooLong = response_.tooLong;
            response_ = Answer{};
            if (tooLong) Raise(AnswerTooLongText());
            Raise(message[0] ? std::string(message) : std::string(curl_easy_strerror(rc)));
        }
        long code = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &code);
        status_ = static_cast<int32_t>(code);
        char* final = nullptr;
        curl_easy_getinfo(curl_, CURLINFO_EFFECTIVE_URL, &final);
        responseUrl_ = final ? final : "";
    }

    int32_t Status() override { return status_; }
    std::string ResponseText() override { return response_.text; }
    std::string ResponseUrl() override { return responseUrl_; }

private:
    // The transfer, driven here rather than inside the library so that the wait can be watched:
    // the windows get their turn every few milliseconds, and a request that waits too long is
    // given up with `late` saying why in plain words. A wait given up after the server took
    // the request sets `lateNumber` to kErrNoAnswer: the server may still act on the request.
    CURLcode Perform(curl_off_t bodySize, std::string& late, int32_t& lateNumber) {
        using Clock = std::chrono::steady_clock;
        if (curl_multi_add_handle(multi_, curl_) != CURLM_OK) Raise("Unable to start the request");
        struct Added {
            CURLM* multi;
            CURL* curl;
            ~Added() { curl_multi_remove_handle(multi, curl); }  // also ends a transfer given up
        } added{multi_, curl_};

        Waiting(Wait::Brief);
        CURLcode result = CURLE_OK;
        std::optional<Clock::time_point> sent;
        const Clock::time_point started = Clock::now();
        Clock::time_point lastMove = started, lastTurn = started;
        curl_off_t moved = -1;
        for (;;) {
            int running = 0;
            CURLMcode mc = curl_multi_perform(multi_, &running);
            if (mc != CURLM_OK) {
                late = curl_multi_strerror(mc);
                return result;
            }
            if (running == 0) {
                int left = 0;
                while (CURLMsg* done = curl_multi_info_read(multi_, &left))
                    if (done->msg == CURLMSG_DONE && done->easy_handle == curl_) result = done->data.result;
                return result;
            }
            const Clock::time_point now = Clock::now();
            curl_off_t up = 0, down = 0, connected = 0;
            curl_easy_getinfo(curl_, CURLINFO_SIZE_UPLOAD_T, &up);
            curl_easy_getinfo(curl_, CURLINFO_SIZE_DOWNLOAD_T, &down);
            curl_easy_getinfo(curl_, CURLINFO_PRETRANSFER_TIME_T, &connected);
            if (up + down != moved) {
                moved = up + down;
                lastMove = now;
            }
            if (!sent && connected > 0 && up >= bodySize) sent = now;
            if (sent && now - *sent >= owner_.answerTimeout) {
                late = "The server did not answer within " + InWords(owner_.answerTimeout);
                lateNumber = kErrNoAnswer;
                return result;
            }
            if (!sent && connected > 0 && now - lastMove >= owner_.idleTimeout) {
                late = "The server took nothing more of the request for " + InWords(owner_.idleTimeout);
                lateNumber = kErrNoAnswer;
                return result;
            }
            // A quick answer (the usual kind) costs the windows nothing; a request that takes
            // longer is a real wait, and the windows get their turn every few milliseconds.
            if (now - started >= kQuickAnswer && now - lastTurn >= kTurn) {
                Waiting(Wait::Long);
                lastTurn = Clock::now();
            }
            curl_multi_poll(multi_, nullptr, 0, static_cast<int>(kTurn.count()), nullptr);
        }
    }

    const CurlHttp& owner_;
    CURL* curl_;
    CURLM* multi_;
    curl_slist* headers_ = nullptr;
    std::string url_, method_, responseUrl_;
    Answer response_;
    int32_t status_ = 0;
    bool sent_ = false;
};

}  // namespace

CurlHttp::CurlHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::unique_ptr<HttpRequest> CurlHttp::CreateRequest() { return std::make_unique<CurlRequest>(*this); }

}  // namespace zc::posix
