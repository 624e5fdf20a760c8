#include "EventStream.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QByteArrayList>
#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <random>
#include <string_view>
#include <vector>

#include "EventFrameParser.h"

namespace {

constexpr long kConnectTimeoutMs = 15000;

// A variable in lower case, else in upper case, as the plug-in reads them.
QByteArray Env(const char* lower, const char* upper) {
    const QByteArray value = qgetenv(lower).trimmed();
    return value.isEmpty() ? qgetenv(upper).trimmed() : value;
}

// The proxy the plug-in takes for the scheme from the conventional variables:
// the scheme's own, else all_proxy; its path cut off.
std::string ProxyFromEnvironment(bool secure) {
    QByteArray proxy = secure ? Env("https_proxy", "HTTPS_PROXY") : Env("http_proxy", "HTTP_PROXY");
    if (proxy.isEmpty()) proxy = Env("all_proxy", "ALL_PROXY");
    const qsizetype scheme = proxy.indexOf("://");
    const qsizetype slash = proxy.indexOf('/', scheme < 0 ? 0 : scheme + 3);
    return (slash < 0 ? proxy : proxy.left(slash)).toStdString();
}

// no_proxy as libcurl takes it: entries trimmed, "*.example" as ".example".
std::string NoProxyFromEnvironment() {
    QByteArrayList entries;
    for (const QByteArray& entry : Env("no_proxy", "NO_PROXY").split(',')) {
        QByteArray name = entry.trimmed();
        if (name.startsWith("*.")) name.remove(0, 1);
        if (!name.isEmpty()) entries.append(name);
    }
    return entries.join(',').toStdString();
}

// Form encoding of a query value, byte by byte (no locale): unreserved bytes
// stay, every other one is %XX.
std::string FormEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                          (b >= '0' && b <= '9') || b == '-' || b == '_' || b == '.' || b == '~';
        if (keep) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Held while a stream thread posts to the UI thread and taken by the UI thread
// before it runs what was posted.
std::mutex& PostOrder() {
    static std::mutex order;
    return order;
}

}  // namespace

// What one connection's callbacks share with Connect (the stream's thread only).
struct EventStream::Transfer {
    EventStream* owner;
    CURL* easy;
    EventFrameParser parser;
    bool open = false;  // 200 with an event stream: frames are read
    long status = 0;

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const std::string_view line(data, size * count);
        if (line == "\r\n" || line == "\n") {  // the end of the headers
            curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &self->status);
            const char* type = nullptr;
            curl_easy_getinfo(self->easy, CURLINFO_CONTENT_TYPE, &type);
            self->open = self->status == 200 && type != nullptr &&
                         StartsWithNoCase(type, "text/event-stream");
            if (self->open) self->owner->PostState(State::Connected, {});
        }
        return size * count;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const std::string_view bytes(data, size * count);
        if (!self->open) return bytes.size();  // an error document: its status says enough
        std::vector<StreamEvent> events;
        std::vector<std::string> dropped;
        self->parser.Feed(bytes, events, dropped);
        for (const std::string& why : dropped)
            self->owner->PostLog(QStringLiteral("event stream: dropped a frame: ") +
                                 QString::fromStdString(why));
        for (StreamEvent& event : events) self->owner->Deliver(std::move(event));
        return bytes.size();
    }
};

EventStream::EventStream(Settings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
}

EventStream::~EventStream() {
    Stop();
    curl_multi_cleanup(static_cast<CURLM*>(m_multi));
    curl_global_cleanup();
}

void EventStream::Start() {
    if (m_thread.joinable() || m_multi == nullptr) return;
    m_stop = false;
    m_state = State::Connecting;
    m_since = QDateTime::currentDateTime();
    emit StateChanged(StateText());
    m_thread = std::thread([this] { Run(); });
}

void EventStream::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    curl_multi_wakeup(static_cast<CURLM*>(m_multi));
    m_thread.join();
    // What the thread posted last is of no interest any more.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    m_state = State::Stopped;
}

QString EventStream::StateText() const {
    switch (m_state) {
        case State::Stopped:
            return QStringLiteral("stopped");
        case State::Connecting:
            return QStringLiteral("connecting");
        case State::Connected:
            return QStringLiteral("connected");
        case State::Reconnecting:
            return QStringLiteral("reconnecting since %1 (%2)")
                .arg(m_since.toString(QStringLiteral("HH:mm:ss")), m_why);
    }
    return {};
}

std::string EventStream::EventsUrl(const Settings& settings) {
    std::string url = settings.serverUrl;
    while (!url.empty() && url.back() == '/') url.pop_back();
    url += "/quibra/v1/events?modulename=" + FormEncode(settings.module);
    if (settings.token.empty() && !settings.userId.empty())
        url += "&userid=" + FormEncode(settings.userId);
    return url;
}

void EventStream::Post(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(PostOrder());
    QMetaObject::invokeMethod(
        this,
        [work = std::move(work)] {
            // Taken after the poster let go, before anything it wrote is read:
            // ordered whatever Qt's queue does (its locks are invisible to the
            // race checker). Not reached through a capture, which is such a write.
            { std::lock_guard<std::mutex> seen(PostOrder()); }
            work();
        },
        Qt::QueuedConnection);
}

void EventStream::PostState(State state, const QString& why) {
    Post([this, state, why] {
        // A run of failed attempts keeps the time of the first.
        if (state != m_state) m_since = QDateTime::currentDateTime();
        const bool changed = state != m_state || why != m_why;
        m_state = state;
        m_why = why;
        if (changed) emit StateChanged(StateText());
    });
}

void EventStream::PostLog(const QString& line) {
    Post([this, line] { emit Log(line); });
}

void EventStream::Deliver(StreamEvent event) {
    // A resync starts afresh (the server's log may be new), and the open frame
    // that follows it carries the same id; anything else at or below the last
    // id was delivered already.
    const bool afterResync = event.kind == StreamEvent::Kind::Open && event.id == m_resyncId;
    if (event.kind != StreamEvent::Kind::Resync && !afterResync && event.id <= m_lastId.load()) {
        PostLog(QStringLiteral("event stream: event %1 seen before; skipped").arg(event.id));
        return;
    }
    m_resyncId = event.kind == StreamEvent::Kind::Resync ? event.id : 0;
    m_lastId = event.id;
    Post([this, event] { emit Received(event); });
}

void EventStream::Run() {
    std::mt19937 random(std::random_device{}());
    int pause = m_settings.firstPauseMs;
    while (!m_stop) {
        std::string why;
        if (Connect(why)) pause = m_settings.firstPauseMs;
        if (m_stop) break;
        // Full pauses from many hosts at once would meet the restarted server
        // together: half the pause is fixed, the other half random.
        const int wait = pause / 2 + std::uniform_int_distribution<int>(0, pause / 2)(random);
        PostState(State::Reconnecting, QString::fromStdString(why));
        PostLog(QStringLiteral("event stream: %1; trying again in %2 ms")
                    .arg(QString::fromStdString(why))
                    .arg(wait));
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(wait), [this] { return m_stop.load(); });
        pause = std::min(pause * 2, m_settings.maxPauseMs);
    }
}

bool EventStream::Connect(std::string& why) {
    const std::string url = EventsUrl(m_settings);
    const bool secure = StartsWithNoCase(url, "https://");
    // As the plug-in: a server whose identity is to be checked is only spoken
    // to over HTTPS; nothing is sent to it in the clear.
    if (!secure && (!m_settings.caFile.empty() || !m_settings.pin.empty())) {
        why = "a CA file or pin is set, and the server is not HTTPS";
        return false;
    }
    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        why = "libcurl has no handle";
        return false;
    }
    Transfer transfer{this, easy, {}, false, 0};
    const std::string proxy = ProxyFromEnvironment(secure);
    const std::string noProxy = NoProxyFromEnvironment();
    curl_slist* headers = nullptr;
    std::vector<std::string> lines = {"Accept: text/event-stream", "Cache-Control: no-cache"};
    if (!m_settings.token.empty()) lines.push_back("Authorization: Bearer " + m_settings.token);
    if (m_lastId.load() > 0) lines.push_back("Last-Event-ID: " + std::to_string(m_lastId.load()));
    for (const std::string& line : lines) headers = curl_slist_append(headers, line.c_str());
    char error[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "quibra-host");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    // The server's keep-alives come every 15 s: a longer silence is a drop.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_settings.silenceSeconds));
    // As the plug-in: without a CA file or pin any certificate is accepted.
    const bool verify = !m_settings.caFile.empty();
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    if (verify) curl_easy_setopt(easy, CURLOPT_CAINFO, m_settings.caFile.c_str());
    if (!m_settings.pin.empty())
        curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, m_settings.pin.c_str());
    // The proxy only from the variables the plug-in reads, as it reads them.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);

    auto* multi = static_cast<CURLM*>(m_multi);
    curl_multi_add_handle(multi, easy);
    int running = 1;
    while (running != 0 && !m_stop) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (running != 0) curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued))
        if (message->msg == CURLMSG_DONE) result = message->data.result;
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);

    if (transfer.open)
        why = result == CURLE_OPERATION_TIMEDOUT
                  ? "the stream was silent for " + std::to_string(m_settings.silenceSeconds) + " s"
              : result != CURLE_OK ? std::string("the stream broke: ") +
                                         (error[0] != '\0' ? error : curl_easy_strerror(result))
                                   : "the server ended the stream";
    else if (transfer.status != 0)
        why = "HTTP " + std::to_string(transfer.status) +
              (transfer.status == 200 ? " without an event stream" : "");
    else
        why = error[0] != '\0' ? error : curl_easy_strerror(result);
    return transfer.open;
}
