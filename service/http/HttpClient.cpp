#include "HttpClient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace melodex::http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = asio::ip::tcp;

std::string ClientReply::field(const std::string& lowerCaseName) const {
    const auto it = fields.find(lowerCaseName);
    return it != fields.end() ? it->second : std::string();
}

struct HttpClient::Connection {
    asio::io_context io;
    beast::tcp_stream stream{io};
    beast::flat_buffer buffer;
    bool open = false;

    // The stream's deadline applies to asynchronous operations only: start one, run it out.
    template <typename Start>
    beast::error_code wait(Start start) {
        beast::error_code result = asio::error::would_block;
        start([&result](beast::error_code ec, auto&&...) { result = ec; });
        io.restart();
        io.run();
        return result;
    }
};

HttpClient::HttpClient(std::string host, int port, std::string localAddress)
    : host_(std::move(host)), port_(port), localAddress_(std::move(localAddress)) {}

HttpClient::~HttpClient() = default;

int HttpClient::socket() const {
    return connection_ && connection_->open ? connection_->stream.socket().native_handle() : -1;
}

std::optional<ClientReply> HttpClient::request(const std::string& method, const std::string& target,
                                               const std::string& body, const std::string& contentType) {
    const auto timeout = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds_ * 1000));
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool reused = connection_ && connection_->open;
        if (!reused) {
            connection_ = std::make_unique<Connection>();
            beast::error_code ec;
            const tcp::endpoint remote(asio::ip::make_address(host_, ec), static_cast<unsigned short>(port_));
            tcp::socket& socket = connection_->stream.socket();
            socket.open(remote.protocol(), ec);
            if (!ec && !localAddress_.empty())
                socket.bind(tcp::endpoint(asio::ip::make_address(localAddress_, ec), 0), ec);
            connection_->stream.expires_after(timeout);
            if (!ec)
                ec = connection_->wait([&](auto done) { connection_->stream.async_connect(remote, done); });
            if (ec) {
                error_ = "connect: " + ec.message();
                connection_.reset();
                return std::nullopt;
            }
            socket.set_option(tcp::no_delay(true), ec);
            connection_->open = true;
        }
        bhttp::request<bhttp::string_body> message{bhttp::string_to_verb(method), target, 11};
        message.set(bhttp::field::host, host_ + ":" + std::to_string(port_));
        for (const auto& [name, value] : fields_)
            message.set(name, value);
        if (!contentType.empty())
            message.set(bhttp::field::content_type, contentType);
        message.body() = body;
        message.prepare_payload();
        if (method == "POST")
            message.content_length(body.size());
        Connection& c = *connection_;
        c.stream.expires_after(timeout);
        beast::error_code ec = c.wait([&](auto done) { bhttp::async_write(c.stream, message, done); });
        bhttp::response_parser<bhttp::string_body> parser;
        parser.body_limit(64u * 1024 * 1024);
        if (!ec)
            ec = c.wait([&](auto done) { bhttp::async_read(c.stream, c.buffer, parser, done); });
        if (ec) {
            error_ = ec.message();
            connection_.reset();
            // A kept-alive connection the server has closed meanwhile: once more on a new one.
            if (reused && ec != beast::error::timeout)
                continue;
            return std::nullopt;
        }
        ClientReply reply;
        reply.status = static_cast<int>(parser.get().result_int());
        for (const auto& f : parser.get()) {
            std::string name(f.name_string());
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            reply.fields[name] = std::string(f.value());
        }
        reply.body = std::move(parser.get().body());
        if (!parser.get().keep_alive())
            connection_.reset();
        return reply;
    }
    return std::nullopt;
}

int connectFrom(int port, const std::string& from, bool blocking) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A connection from another address than asked would count against the wrong one.
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    if (!blocking)
        fcntl(fd, F_SETFL, O_NONBLOCK);
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return fd;
}

} // namespace melodex::http
