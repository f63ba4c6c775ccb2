#include "kestuctl/lab_page/lab_server.h"

#include <httplib.h>

#include <QString>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <set>

#include "analysis/chart_file.h"
#include "analysis/tick_series.h"
#include "analysis/water_chart.h"
#include "kestuctl/commands.h"
#include "kestuctl/lab_page/lab_pages.h"
#include "kestuctl/lab_page/lab_watch.h"
#include "trials/participant.h"

namespace kestu::lab {

namespace {

// How long a chart or a CSV waits for its log from the database.
constexpr std::chrono::seconds LogWait{10};

bool IsUtf8(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        unsigned int code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            more = 1;
            code = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            more = 2;
            code = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + more >= text.size()) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return false;
            code = (code << 6) | (next & 0x3f);
        }
        const unsigned int least[] = {0, 0x80, 0x800, 0x10000};
        if (code < least[more] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return false;
        i += more + 1;
    }
    return true;
}

bool HasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// Compares in time that does not depend on where the texts differ.
bool SameToken(const std::string& given, const std::string& token)
{
    unsigned char differ = given.size() == token.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i)
        differ |= static_cast<unsigned char>(token[i] ^ (i < given.size() ? given[i] : 0));
    return differ == 0;
}

void Reply(httplib::Response& res, int status, const std::string& line)
{
    res.status = status;
    res.set_content(line + "\n", "text/plain; charset=utf-8");
}

// The pages a GET may ask for; any other method on them gets 405.
bool KnownPath(const std::string& path)
{
    static const std::set<std::string> pages = {"/", "/participants", "/events", "/snapshot.json"};
    if (pages.count(path)) return true;
    return path.rfind("/trial/", 0) == 0;
}

// A trial number as the path gives it: 1 to 9 digits, no sign, no leading zero.
std::optional<long long> StrictTrial(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text[0] == '0') return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string TokenQuery(const httplib::Request& req)
{
    return req.has_param("token") ? "?token=" + httplib::detail::encode_query_param(req.get_param_value("token"))
                                  : std::string();
}

}  // namespace

Result<ListenAddress> ParseListen(const std::string& text)
{
    using Parsed = Result<ListenAddress>;
    ListenAddress address;
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) return Parsed::Fail("--listen \"" + text + "\" has no closing \"]\"");
        address.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return Parsed::Fail("--listen \"" + text + "\" is not [ADDRESS]:PORT");
            portText = text.substr(close + 2);
        }
    } else {
        const auto colon = text.rfind(':');
        if (colon != std::string::npos && text.find(':') != colon)
            return Parsed::Fail("--listen \"" + text + "\": write an IPv6 address in brackets, as [::1]:8080");
        address.host = text.substr(0, colon);
        if (colon != std::string::npos) portText = text.substr(colon + 1);
    }
    if (address.host.empty()) return Parsed::Fail("--listen \"" + text + "\" names no address");
    const bool portGiven = text[0] == '[' ? text.find("]:") != std::string::npos : text.find(':') != std::string::npos;
    if (portGiven) {
        const auto port = StrictTrial(portText);
        if (portText == "0") {
            address.port = 0;
        } else if (!port || *port > 65535) {
            return Parsed::Fail("--listen \"" + text + "\": the port is a number from 0 to 65535");
        } else {
            address.port = static_cast<int>(*port);
        }
    }
    return address;
}

bool IsLoopbackHost(const std::string& host)
{
    if (host == "localhost" || host == "::1") return true;
    // 127.0.0.0/8, written as four decimal numbers.
    if (host.rfind("127.", 0) != 0) return false;
    int parts = 0;
    std::size_t start = 0;
    while (start <= host.size()) {
        const auto dot = host.find('.', start);
        const std::string part = host.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(part) > 255)
            return false;
        ++parts;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

Result<std::string> ReadTokenFile(const std::string& file)
{
    using Read = Result<std::string>;
    std::ifstream in(file, std::ios::binary);
    if (!in) return Read::Fail("--token " + file + ": the file cannot be read");
    std::string token;
    std::getline(in, token);
    if (!token.empty() && token.back() == '\r') token.pop_back();
    if (token.size() < 16 || token.size() > MaxParameterBytes)
        return Read::Fail("--token " + file + ": its first line must hold a token of 16 to 200 characters");
    for (char c : token) {
        if (c <= 0x20 || c >= 0x7f)
            return Read::Fail("--token " + file + ": the token may hold only printable ASCII characters, no spaces");
    }
    return token;
}

LabServer::LabServer(LabWatch& watch, ServeOptions options) : watch_(watch), options_(std::move(options)) {}

LabServer::~LabServer() { Stop(); }

void LabServer::Stop()
{
    stopping_ = true;
    if (http_) http_->stop();
    if (thread_.joinable()) thread_.join();
}

Result<std::unique_ptr<LabServer>> LabServer::Start(LabWatch& watch, const ServeOptions& options)
{
    using Started = Result<std::unique_ptr<LabServer>>;
    if (!IsLoopbackHost(options.listen.host) && !options.token)
        return Started::Fail("--listen " + options.listen.host +
                             " reaches other computers: give --token FILE, so that only those who hold the token "
                             "see the page (or keep the default 127.0.0.1 and use an ssh tunnel)");
    std::unique_ptr<LabServer> server(new LabServer(watch, options));
    server->http_ = std::make_unique<httplib::Server>();
    const int threads = options.threads;
    server->http_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server->Route();
    httplib::Server& http = *server->http_;
    if (options.listen.port == 0) {
        server->port_ = http.bind_to_any_port(options.listen.host);
        if (server->port_ < 0) server->port_ = 0;
    } else if (http.bind_to_port(options.listen.host, options.listen.port)) {
        server->port_ = options.listen.port;
    }
    if (server->port_ <= 0) {
        return Started::Fail("cannot listen on " + options.listen.host + ":" + std::to_string(options.listen.port) +
                             " (the address is not this computer's, or the port is taken)");
    }
    LabServer* self = server.get();
    server->thread_ = std::thread([self] { self->http_->listen_after_bind(); });
    return server;
}

void LabServer::Route()
{
    httplib::Server& http = *http_;

    // Every request, whatever its method, is checked before it is routed.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        using R = httplib::Server::HandlerResponse;
        if (options_.token) {
            std::string given;
            const std::string header = req.get_header_value("Authorization");
            if (header.rfind("Bearer ", 0) == 0) given = header.substr(7);
            else if (req.has_param("token")) given = req.get_param_value("token");
            if (!SameToken(given, *options_.token)) {
                res.set_header("WWW-Authenticate", "Bearer");
                Reply(res, 401, "This page needs its token: add ?token=... to the address.");
                return R::Handled;
            }
        }
        if (req.target.find("..") != std::string::npos || req.path.find("..") != std::string::npos) {
            Reply(res, 400, "A path may not contain \"..\".");
            return R::Handled;
        }
        if (req.path.size() > MaxParameterBytes) {
            Reply(res, 400, "The path is longer than 200 bytes.");
            return R::Handled;
        }
        if (!IsUtf8(req.path) || HasControl(req.path)) {
            Reply(res, 400, "The path is not plain UTF-8 text.");
            return R::Handled;
        }
        for (const auto& [name, value] : req.params) {
            if (name != "token") {
                Reply(res, 400, "No page takes a parameter \"" + (IsUtf8(name) && !HasControl(name) && name.size() <= 40 ? name : std::string("?")) + "\".");
                return R::Handled;
            }
            if (value.size() > MaxParameterBytes) {
                Reply(res, 400, "Parameter \"" + name + "\" is longer than 200 bytes.");
                return R::Handled;
            }
            if (!IsUtf8(value) || HasControl(value)) {
                Reply(res, 400, "Parameter \"" + name + "\" is not plain UTF-8 text.");
                return R::Handled;
            }
            if (value.find("..") != std::string::npos) {
                Reply(res, 400, "Parameter \"" + name + "\" may not contain \"..\".");
                return R::Handled;
            }
        }
        if (req.method != "GET" && req.method != "HEAD") {
            if (!KnownPath(req.path)) {
                Reply(res, 404, "There is no page " + req.path + ".");
                return R::Handled;
            }
            res.set_header("Allow", "GET, HEAD");
            Reply(res, 405, "This page only answers GET and HEAD, not " + req.method + ".");
            return R::Handled;
        }
        return R::Unhandled;
    });

    // A reason for the errors the library answers by itself.
    http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return;
        switch (res.status) {
        case 404: Reply(res, 404, "There is no page " + (IsUtf8(req.path) && !HasControl(req.path) ? req.path : std::string("like that")) + "."); break;
        case 414: Reply(res, 414, "The address is too long."); break;
        case 413: Reply(res, 413, "The request is too large."); break;
        default: Reply(res, res.status, "The request is not one this page answers."); break;
        }
    });

    http.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(SeatPageHtml(), "text/html; charset=utf-8");
    });

    http.Get("/snapshot.json", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(watch_.Current()->json, "application/json");
    });

    http.Get("/participants", [this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(ParticipantsHtml(*watch_.Current(), TokenQuery(req)), "text/html; charset=utf-8");
    });

    http.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        auto last = std::make_shared<long long>(-1);
        res.set_chunked_content_provider("text/event-stream", [this, last](size_t, httplib::DataSink& sink) {
            if (stopping_) return false;
            const auto snapshot = *last < 0 ? watch_.Current() : watch_.WaitNewer(*last, options_.eventEvery);
            if (stopping_) return false;
            *last = snapshot->serial;
            const std::string event = "data: " + snapshot->json + "\n\n";
            return sink.write(event.data(), event.size());
        });
    });

    http.Get(R"(/trial/([^/]*)/([^/]*)/(plot\.png|ticks\.csv))", [this](const httplib::Request& req,
                                                                        httplib::Response& res) {
        const std::string userId = req.matches[1], trialText = req.matches[2], what = req.matches[3];
        if (!IsValidUserId(userId)) {
            Reply(res, 400, "A User ID has 1 to 8 letters, digits, \"_\" or \"-\".");
            return;
        }
        const auto trial = StrictTrial(trialText);
        if (!trial) {
            Reply(res, 400, "A trial number is a whole number from 1, written without a sign or leading zeros.");
            return;
        }
        const auto log = watch_.FetchLog(userId, *trial, LogWait);
        if (!log) {
            Reply(res, 503, "The trial's log cannot be read: " + log.error());
            return;
        }
        if (!log.value()) {
            Reply(res, 404, "No log of trial " + std::to_string(*trial) + " of " + userId + " is stored.");
            return;
        }
        const auto scenario = watch_.Scenario();
        auto series = analysis::ReplayTickSeries(*scenario, *log.value());
        if (!series) {
            Reply(res, 422, "The trial's log cannot be replayed: " + series.error());
            return;
        }
        if (what == "ticks.csv") {
            res.set_header("Content-Disposition", "attachment; filename=\"" + userId + "." + trialText + "-ticks.csv\"");
            res.set_content(ctl::EveryTickCsv(series.value()), "text/csv; charset=utf-8");
            return;
        }
        ctl::KeepScheduledDeadlines(series.value(), scenario->deadline);
        static std::mutex drawing;  // one chart at a time: fonts are shared
        std::lock_guard<std::mutex> lock(drawing);
        const std::string title = "Water in each tank: " + userId + "." + trialText;
        const QImage chart =
            analysis::DrawWaterChart(series.value(), {title, ctl::PlotSubtitle(series.value(), watch_.Current()->database)});
        const auto bytes = analysis::EncodeChart(chart, "png");
        if (!bytes) {
            Reply(res, 500, "The chart cannot be drawn: " + bytes.error());
            return;
        }
        res.set_content(bytes.value(), "image/png");
    });
}

}  // namespace kestu::lab
