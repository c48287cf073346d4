#include "HttpServer.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <optional>
#include <unordered_set>

namespace melodex::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

std::chrono::milliseconds ms(double seconds) { return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0)); }

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Refusals sent in place of an exchange (a client over its connection limit) are written with
// one non-blocking send: they are small enough for any socket's send buffer.
std::string cannedResponse(int status, const char* reason, const std::string& text) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text;
}

} // namespace

std::string HttpRequest::field(const std::string& lowerCaseName) const {
    const auto it = fields.find(lowerCaseName);
    return it != fields.end() ? it->second : std::string();
}

std::map<std::string, std::string> HttpRequest::query() const {
    std::map<std::string, std::string> params;
    const size_t q = target.find('?');
    if (q == std::string::npos)
        return params;
    std::string_view rest(target);
    rest.remove_prefix(q + 1);
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const size_t eq = pair.find('=');
        params.emplace(percentDecode(pair.substr(0, eq)),
                       eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1)));
        if (amp == std::string_view::npos)
            break;
        rest.remove_prefix(amp + 1);
    }
    return params;
}

struct HttpServer::State {
    HttpLimits limits;
    unsigned workers;
    Handler handler;
    Logger logger;
    // Touched on the I/O thread only.
    std::map<std::string, size_t> perAddress;
    std::unordered_set<Session*> sessions;
    bool stopping = false;
    // Read from any thread.
    std::atomic<size_t> open{0};
    std::atomic<bool> isRunning{false};
    std::atomic<bool> stopRequested{false};
    int port = 0;
    // Declared after what sessions release: handlers still queued when the context goes
    // hold sessions, whose destructors update the counts above.
    asio::io_context io;
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptPause{io};
    std::unique_ptr<asio::thread_pool> pool;

    void accept();
    void admit(tcp::socket socket);
    void beginStop();
};

class HttpServer::Session : public std::enable_shared_from_this<Session> {
public:
    Session(State& state, tcp::socket socket, std::string address)
        : s_(state), stream_(std::move(socket)), deadline_(state.io), address_(std::move(address)) {
        s_.sessions.insert(this);
        ++s_.perAddress[address_];
        ++s_.open;
    }
    ~Session() { release(); }

    void start() { waitForRequest(); }

    // At stop: a connection waiting between requests is closed, one that has not sent its
    // first request yet gets a short grace, one in the middle of a request is answered.
    void onStop() {
        if (phase_ == Phase::Idle)
            stream_.cancel();
    }

private:
    enum class Phase { Idle, Reading, Handling, Writing, Closed };

    void waitForRequest() {
        phase_ = Phase::Idle;
        if (buffer_.size() > 0)
            return beginRequest();  // a pipelined request is already here
        if (s_.stopping && servedOne_)
            return close();
        stream_.expires_after(ms(s_.stopping ? s_.limits.stopGraceSeconds : s_.limits.idleSeconds));
        stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->buffer_.commit(n);
            if (n > 0)
                return self->beginRequest();
            if (ec == asio::error::operation_aborted && self->s_.stopping && !self->servedOne_)
                return self->waitForRequest();
            self->close();
        });
    }

    void beginRequest() {
        phase_ = Phase::Reading;
        started_ = Clock::now();
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(std::min<size_t>(s_.limits.headerBytes, UINT32_MAX)));
        parser_->body_limit(s_.limits.bodyBytes);
        // The stream's own time-out would close the socket; this one leaves it open for a 408.
        stream_.expires_never();
        deadline_.expires_after(ms(s_.limits.requestSeconds));
        deadline_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec && self->phase_ == Phase::Reading) {
                self->timedOut_ = true;
                beast::error_code ignored;
                self->stream_.socket().cancel(ignored);
            }
        });
        bhttp::async_read_header(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
            self->onHeader(ec);
        });
    }

    void onHeader(beast::error_code ec) {
        if (ec)
            return fail(ec);
        const auto& header = parser_->get();
        if (static_cast<size_t>(std::distance(header.begin(), header.end())) > s_.limits.headerFields)
            return refuse(431, "more than " + std::to_string(s_.limits.headerFields) + " header fields");
        // Without a length or chunked coding a POST body would only end when the client closes.
        if (header.method() == bhttp::verb::post && !parser_->content_length() && !parser_->chunked())
            return refuse(411, "Content-Length required (a POST carries the recording)");
        if (beast::iequals(header[bhttp::field::expect], "100-continue")) {
            static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
            return asio::async_write(stream_, asio::buffer(kContinue),
                                     [self = shared_from_this()](beast::error_code e, size_t) {
                                         if (e)
                                             return self->fail(e);
                                         self->readBody();
                                     });
        }
        readBody();
    }

    void readBody() {
        bhttp::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                return self->fail(ec);
            self->handle();
        });
    }

    void handle() {
        phase_ = Phase::Handling;
        deadline_.cancel();
        auto request = std::make_shared<HttpRequest>();
        auto& message = parser_->get();
        request->remote = address_;
        request->method = std::string(message.method_string());
        request->target = std::string(message.target());
        request->path = request->target.substr(0, request->target.find('?'));
        for (const auto& f : message) {
            std::string name(f.name_string());
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            request->fields.emplace(std::move(name), std::string(f.value()));
        }
        request->body = std::move(message.body());
        keepAlive_ = message.keep_alive();
        parser_.reset();
        auto guard = std::make_shared<asio::executor_work_guard<asio::io_context::executor_type>>(s_.io.get_executor());
        asio::post(*s_.pool, [self = shared_from_this(), request, guard, started = started_]() mutable {
            auto response = std::make_shared<HttpResponse>();
            try {
                self->s_.handler(*request, *response);
            } catch (...) {
                *response = HttpResponse{};
                response->status = 500;
                response->body = "internal error\n";
                response->note = "internal error";
            }
            HttpExchange exchange{request.get(), request->remote, response.get(), request->body.size(),
                                  std::chrono::duration<double, std::milli>(Clock::now() - started).count()};
            self->s_.logger(exchange);
            State& state = self->s_;
            asio::post(state.io, [self = std::move(self), response, guard = std::move(guard)]() mutable {
                self->write(*response, !self->keepAlive_);
                guard.reset();
            });
        });
    }

    void write(const HttpResponse& r, bool closeAfter) {
        if (phase_ == Phase::Closed)
            return;
        phase_ = Phase::Writing;
        deadline_.cancel();
        auto message = std::make_shared<bhttp::response<bhttp::string_body>>();
        message->version(11);
        message->result(static_cast<unsigned>(r.status));
        message->set(bhttp::field::server, "melodex-idd");
        message->set(bhttp::field::content_type, r.contentType);
        for (const auto& [name, value] : r.fields)
            message->set(name, value);
        message->body() = r.body;
        const bool keep = !closeAfter && !s_.stopping;
        message->keep_alive(keep);
        message->prepare_payload();
        stream_.expires_after(ms(s_.limits.writeSeconds));
        bhttp::async_write(stream_, *message, [self = shared_from_this(), message, keep](beast::error_code ec, size_t) {
            if (ec)
                return self->close();
            if (!keep)
                return self->linger();
            self->servedOne_ = true;
            self->waitForRequest();
        });
    }

    void refuse(int status, const std::string& reason) {
        HttpResponse r;
        r.status = status;
        r.body = reason + "\n";
        r.note = reason;
        HttpRequest partial;
        const bool haveHeader = parser_ && parser_->is_header_done();
        if (haveHeader) {
            partial.remote = address_;
            partial.method = std::string(parser_->get().method_string());
            partial.target = std::string(parser_->get().target());
            partial.path = partial.target.substr(0, partial.target.find('?'));
            partial.fields.emplace("user-agent", std::string(parser_->get()[bhttp::field::user_agent]));
        }
        HttpExchange exchange{haveHeader ? &partial : nullptr, address_, &r, 0,
                              std::chrono::duration<double, std::milli>(Clock::now() - started_).count()};
        s_.logger(exchange);
        parser_.reset();
        phase_ = Phase::Handling;
        write(r, true);
    }

    void fail(beast::error_code ec) {
        deadline_.cancel();
        if (timedOut_)
            return refuse(408, "request not complete within " + std::to_string(static_cast<int>(s_.limits.requestSeconds)) + " s");
        if (ec == bhttp::error::body_limit)
            return refuse(413, "body larger than " + std::to_string(s_.limits.bodyBytes) + " bytes");
        if (ec == bhttp::error::header_limit)
            return refuse(431, "request line and header fields larger than " + std::to_string(s_.limits.headerBytes) + " bytes");
        if (ec.category() == beast::error_code(bhttp::error::bad_method).category() && ec != bhttp::error::end_of_stream &&
            ec != bhttp::error::partial_message)
            return refuse(400, "malformed request: " + ec.message());
        close();  // the client closed or reset the connection: nobody to answer
    }

    // Closing a socket with unread bytes (the rest of a refused body) resets the connection,
    // and a reset can destroy the refusal before the client reads it: stop sending, read and
    // drop what still comes for a moment, then close.
    void linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(2));
        drain();
    }

    void drain() {
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->drained_ += n;
            if (ec || self->drained_ > kMaxDrained)
                return self->close();
            self->drain();
        });
    }

    void close() {
        if (phase_ == Phase::Closed)
            return;
        phase_ = Phase::Closed;
        deadline_.cancel();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
        release();
    }

    void release() {
        if (released_)
            return;
        released_ = true;
        s_.sessions.erase(this);
        if (auto it = s_.perAddress.find(address_); it != s_.perAddress.end() && --it->second == 0)
            s_.perAddress.erase(it);
        --s_.open;
    }

    State& s_;
    beast::tcp_stream stream_;
    asio::steady_timer deadline_;  // of the request being read
    bool timedOut_ = false;
    beast::flat_buffer buffer_;
    std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
    std::string address_;
    Phase phase_ = Phase::Idle;
    bool servedOne_ = false;
    bool keepAlive_ = true;
    bool released_ = false;
    static constexpr size_t kMaxDrained = 1u << 20;
    std::array<char, 4096> scratch_{};
    size_t drained_ = 0;
    Clock::time_point started_ = Clock::now();
};

void HttpServer::State::accept() {
    acceptor.async_accept(io, [this](beast::error_code ec, tcp::socket socket) {
        // A connection accepted as the stop began is a request taken like any other.
        if (!ec)
            admit(std::move(socket));
        if (stopping || !acceptor.is_open())
            return;
        if (!ec)
            return accept();
        // Out of descriptors or memory: accepting again at once would fail at once, forever.
        acceptPause.expires_after(std::chrono::milliseconds(100));
        acceptPause.async_wait([this](beast::error_code e) {
            if (!e && !stopping)
                accept();
        });
    });
}

void HttpServer::State::admit(tcp::socket socket) {
    beast::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec)
        return;
    // Small replies must not wait for the client's delayed acknowledgement of the last one.
    socket.set_option(tcp::no_delay(true), ec);
    std::string address = remote.address().to_string();
    const auto it = perAddress.find(address);
    const bool addressFull = it != perAddress.end() && it->second >= limits.connectionsPerAddress;
    if (addressFull || open >= limits.connections) {
        const std::string text = addressFull ? "too many connections from " + address + "\n" : "too many connections\n";
        const std::string reply = cannedResponse(503, "Service Unavailable", text);
        [[maybe_unused]] const ssize_t sent = ::send(socket.native_handle(), reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        HttpResponse r;
        r.status = 503;
        r.note = text.substr(0, text.size() - 1);
        logger(HttpExchange{nullptr, address, &r, 0, 0.0});
        socket.shutdown(tcp::socket::shutdown_both, ec);
        return;
    }
    std::make_shared<Session>(*this, std::move(socket), std::move(address))->start();
}

void HttpServer::State::beginStop() {
    if (stopping)
        return;
    stopping = true;
    // Connections the kernel has completed but nobody accepted yet are requests a client
    // believes were taken: accept them before closing the socket, which would reset them.
    beast::error_code ec;
    if (acceptor.is_open()) {
        acceptor.non_blocking(true, ec);
        for (;;) {
            tcp::socket socket(io);
            acceptor.accept(socket, ec);
            if (ec)
                break;
            admit(std::move(socket));
        }
        acceptor.close(ec);
    }
    acceptPause.cancel();
    const std::vector<Session*> current(sessions.begin(), sessions.end());
    for (Session* session : current)
        session->onStop();
}

HttpServer::HttpServer(HttpLimits limits, unsigned workers, Handler handler, Logger logger)
    : state_(std::make_unique<State>()) {
    state_->limits = limits;
    state_->workers = std::max(1u, workers);
    state_->handler = std::move(handler);
    state_->logger = std::move(logger);
    state_->pool = std::make_unique<asio::thread_pool>(state_->workers);
}

HttpServer::~HttpServer() {
    state_->io.stop();
    state_->pool->join();
}

bool HttpServer::listen(const std::string& host, int port, int backlog, std::string& error) {
    beast::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    if (ec) {
        error = "not an address: " + host;
        return false;
    }
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
    tcp::acceptor& a = state_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec)
        a.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec)
        a.bind(endpoint, ec);
    if (!ec)
        a.listen(backlog, ec);
    if (ec) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    state_->port = a.local_endpoint(ec).port();
    state_->accept();
    return true;
}

int HttpServer::port() const { return state_->port; }

void HttpServer::run() {
    state_->isRunning = true;
    state_->io.run();
    state_->pool->join();
    state_->isRunning = false;
}

void HttpServer::stop() {
    state_->stopRequested = true;
    asio::post(state_->io, [s = state_.get()] { s->beginStop(); });
}

bool HttpServer::running() const { return state_->isRunning && !state_->stopRequested; }

size_t HttpServer::connections() const { return state_->open; }

} // namespace melodex::http
