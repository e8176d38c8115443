#include "output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"

namespace dravo::cli {

PendingOutputs::~PendingOutputs() {
    for (const auto& [tmp, final] : pending_)
        std::remove(tmp.c_str());
}

void PendingOutputs::add(const std::string& path, const std::vector<uint8_t>& bytes) {
    addWith(path, [&](int fd) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw ToolError(msg::kUnwritableFile, "cannot write '" + path + "': " + std::strerror(errno));
            done += static_cast<size_t>(n);
        }
    });
}

void PendingOutputs::addWith(const std::string& path, const std::function<void(int fd)>& write) {
    for (const auto& p : pending_)
        if (p.second == path) throw UsageError(msg::kUsage, "'" + path + "' is named as an output twice");
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + base + ".tmpXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) throw ToolError(msg::kUnwritableFile, "cannot write '" + path + "': " + std::strerror(errno));
    std::string tmp = name.data();
    pending_.emplace_back(tmp, path);
    try {
        write(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    // mkstemp makes the file private; outputs get the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0)
        throw ToolError(msg::kUnwritableFile, "cannot write '" + path + "': " + std::strerror(errno));
}

void PendingOutputs::commit() {
    for (size_t i = 0; i < pending_.size(); ++i) {
        const auto& [tmp, final] = pending_[i];
        if (std::rename(tmp.c_str(), final.c_str()) != 0)
            throw ToolError(msg::kUnwritableFile, "cannot write '" + final + "': " + std::strerror(errno));
        pending_[i].first.clear();
    }
    pending_.clear();
}

std::string stepOutputPath(const std::string& path, int step, int steps) {
    // A printf field "%d" or "%0Nd" in the path numbers the steps; otherwise "_0001" goes before the extension.
    for (size_t at = path.find('%'); at != std::string::npos; at = path.find('%', at + 1)) {
        size_t end = at + 1;
        while (end < path.size() && std::isdigit(static_cast<unsigned char>(path[end])))
            ++end;
        if (end == path.size() || path[end] != 'd' || end - at > 4) continue;
        char buf[32];
        std::snprintf(buf, sizeof buf, path.substr(at, end + 1 - at).c_str(), step);
        return path.substr(0, at) + buf + path.substr(end + 1);
    }
    if (steps == 1) return path;
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
    char buf[32];
    std::snprintf(buf, sizeof buf, "_%04d", step);
    return path.substr(0, dot) + buf + path.substr(dot);
}

}  // namespace dravo::cli
