// A small blocking HTTP/1.1 client on one kept-alive connection (Boost.Beast), for the tests
// and the load bench. It reconnects when the server closed the connection.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace melodex::http {

struct ClientReply {
    int status = 0;
    std::string body;
    std::map<std::string, std::string> fields;  // names in lower case
    std::string field(const std::string& lowerCaseName) const;
};

class HttpClient {
public:
    // localAddress: the address to connect from (loopback tests pose as many clients by using
    // 127.0.0.x); empty: any.
    HttpClient(std::string host, int port, std::string localAddress = {});
    ~HttpClient();

    void setTimeout(double seconds) { timeoutSeconds_ = seconds; }
    // Extra header fields sent with every request.
    void setField(const std::string& name, const std::string& value) { fields_[name] = value; }

    std::optional<ClientReply> get(const std::string& target) { return request("GET", target, "", ""); }
    std::optional<ClientReply> post(const std::string& target, const std::string& body, const std::string& contentType = "") {
        return request("POST", target, body, contentType);
    }
    std::optional<ClientReply> request(const std::string& method, const std::string& target, const std::string& body,
                                       const std::string& contentType);
    // What went wrong in the last request that gave no reply.
    const std::string& error() const { return error_; }
    // The connection's socket, or -1 (tests look at its options).
    int socket() const;

private:
    struct Connection;
    std::string host_;
    int port_;
    std::string localAddress_;
    double timeoutSeconds_ = 60.0;
    std::map<std::string, std::string> fields_;
    std::unique_ptr<Connection> connection_;
    std::string error_;
};

// A plain TCP connection to `port` on loopback from the loopback address `from` (the server
// counts connections per address), for bytes no well-behaved client sends: slow, partial or
// malformed requests. Reads time out after 10 s. The socket, or -1 (also when `from` is no
// address of this machine).
int connectFrom(int port, const std::string& from, bool blocking = true);

} // namespace melodex::http
