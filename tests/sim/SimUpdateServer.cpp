#include "sim/SimUpdateServer.h"

#include <algorithm>

namespace qv::sim {

class SimUpdateServer::SimBody final : public HttpClient::Body {
public:
    SimBody(SimUpdateServer& server, size_t call, Reply reply) : server_(server), call_(call), reply_(std::move(reply)) {}
    ~SimBody() override {
        std::lock_guard<std::mutex> lock(server_.mutex_);
        server_.calls_[call_].bodyClosed = true;
    }

    bool read(std::string& piece) override {
        const int64_t size =
            reply_.generatedBytes >= 0 ? reply_.generatedBytes : static_cast<int64_t>(reply_.body.size());
        if (reply_.failReadAfter >= 0 && delivered_ >= reply_.failReadAfter) return false;
        int64_t n = std::min<int64_t>(16384, size - delivered_);
        if (reply_.failReadAfter >= 0) n = std::min(n, reply_.failReadAfter - delivered_);
        if (reply_.generatedBytes >= 0)
            piece.assign(static_cast<size_t>(n), 'x');
        else
            piece = reply_.body.substr(static_cast<size_t>(delivered_), static_cast<size_t>(n));
        delivered_ += n;
        return true;
    }

private:
    SimUpdateServer& server_;
    size_t call_;
    Reply reply_;
    int64_t delivered_ = 0;
};

std::string SimUpdateServer::Call::header(const std::string& name) const {
    const std::string prefix = name + ": ";
    for (const std::string& h : headers) {
        if (h.rfind(prefix, 0) == 0) return h.substr(prefix.size());
    }
    return "(none)";
}

void SimUpdateServer::serve(const std::string& url, Reply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_[url] = std::move(reply);
}

void SimUpdateServer::serveBody(const std::string& url, const std::string& body) {
    Reply reply;
    reply.body = body;
    serve(url, reply);
}

void SimUpdateServer::redirect(const std::string& url, const std::string& location, uint32_t status) {
    Reply reply;
    reply.status = status;
    reply.location = location;
    serve(url, reply);
}

std::vector<SimUpdateServer::Call> SimUpdateServer::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> SimUpdateServer::urls() const {
    std::vector<std::string> out;
    for (const Call& c : calls()) out.push_back(c.url);
    return out;
}

HttpClient::Result SimUpdateServer::send(const Request& request, Response& response, std::unique_ptr<Body>& body) {
    Reply reply;
    size_t call = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(Call{request.url, request.userAgent, request.headers, false});
        call = calls_.size() - 1;
        const auto it = replies_.find(request.url);
        if (it != replies_.end()) {
            reply = it->second;
        } else {
            reply.status = 404;
            reply.body = "Not Found";
        }
        if (reply.result != Result::Ok) {
            calls_[call].bodyClosed = true;
            return reply.result;
        }
    }
    response.status = reply.status;
    response.location = reply.location;
    response.contentLength = reply.contentLength;
    body = std::make_unique<SimBody>(*this, call, std::move(reply));
    return Result::Ok;
}

} // namespace qv::sim
