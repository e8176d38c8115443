#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "interrupt_cleanup.h"

namespace dravo::cli {
namespace {

[[noreturn]] void cannotWrite(const std::string& path, int err) {
    throw ToolError(msg::kUnwritableFile, "cannot write '" + path + "': " + std::strerror(err));
}

// Longest file name (one path component) the folder takes.
size_t nameLimit(const std::string& dir) {
    long n = pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
    return n > 16 ? static_cast<size_t>(n) : 255;
}

// A fresh temporary file beside `path`, registered for removal on an interrupt.
int makeTemporary(const std::string& path, const char* kind, std::string& name, uint64_t& token) {
    std::string stem = temporaryStem(path);
    if (std::strcmp(kind, "tmp") != 0) stem.replace(stem.size() - 3, 3, kind);
    std::vector<char> buf(stem.begin(), stem.end());
    for (char c : std::string("XXXXXX"))
        buf.push_back(c);
    buf.push_back('\0');
    InterruptsHeld held;  // no window in which the file exists unregistered
    int fd = mkstemp(buf.data());
    if (fd < 0) return -1;
    name = buf.data();
    token = removeOnInterrupt(name, Removal::File);
    return fd;
}

}  // namespace

std::string temporaryStem(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // "." + base + ".tmp" + 6 random characters must fit one name.
    size_t limit = nameLimit(dir);
    size_t room = limit > 11 ? limit - 11 : 1;
    if (base.size() > room) base.resize(room);
    return dir + "." + base + ".tmp";
}

void checkOutputPath(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISLNK(st.st_mode))
        throw ToolError(msg::kUnwritableFile,
                        "cannot write '" + path + "': it is a symbolic link (name the file it points to)");
    if (S_ISDIR(st.st_mode))
        throw ToolError(msg::kUnwritableFile, "cannot write '" + path + "': it is a folder");
}

OutputFolder::OutputFolder(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode))
            throw ToolError(msg::kUnwritableFile, "cannot write into '" + path + "': it is not a folder");
        return;
    }
    // Outermost missing part first.
    std::vector<std::string> missing;
    for (std::string p = path; !p.empty() && p != "/" && p != "." && stat(p.c_str(), &st) != 0;) {
        missing.push_back(p);
        size_t slash = p.find_last_of('/', p.size() > 1 ? p.size() - 2 : 0);
        if (slash == std::string::npos) break;
        p = p.substr(0, slash == 0 ? 1 : slash);
    }
    for (size_t i = missing.size(); i-- > 0;) {
        InterruptsHeld held;
        if (::mkdir(missing[i].c_str(), 0777) != 0 && errno != EEXIST) {
            int err = errno;
            for (size_t k = made_.size(); k-- > 0;)
                ::rmdir(made_[k].c_str());
            keep();
            throw ToolError(msg::kUnwritableFile,
                            "cannot make folder '" + missing[i] + "': " + std::strerror(err));
        }
        made_.push_back(missing[i]);
        tokens_.push_back(removeOnInterrupt(missing[i], Removal::EmptyFolder));
    }
}

OutputFolder::~OutputFolder() {
    for (size_t k = made_.size(); k-- > 0;)
        ::rmdir(made_[k].c_str());
    keep();
}

void OutputFolder::keep() {
    for (uint64_t t : tokens_)
        keepOnInterrupt(t);
    tokens_.clear();
    made_.clear();
}

PendingOutputs::~PendingOutputs() {
    discard();
}

void PendingOutputs::discard() {
    for (const auto& p : pending_) {
        if (p.tmp.empty()) continue;
        ::unlink(p.tmp.c_str());
        keepOnInterrupt(p.token);
    }
    pending_.clear();
}

void PendingOutputs::add(const std::string& path, const std::vector<uint8_t>& bytes) {
    addWith(path, [&](int fd) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) cannotWrite(path, n == 0 ? ENOSPC : errno);
            done += static_cast<size_t>(n);
        }
    });
}

void PendingOutputs::addWith(const std::string& path, const std::function<void(int fd)>& write) {
    for (const auto& p : pending_)
        if (p.final == path) throw UsageError(msg::kUsage, "'" + path + "' is named as an output twice");
    checkOutputPath(path);
    // An existing file keeps its permissions; a new one gets the usual ones (mkstemp makes it private).
    mode_t mode;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    Pending p;
    p.final = path;
    int fd = makeTemporary(path, "tmp", p.tmp, p.token);
    if (fd < 0) cannotWrite(path, errno);
    pending_.push_back(p);
    try {
        write(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (fchmod(fd, mode) != 0) {
        int err = errno;
        ::close(fd);
        cannotWrite(path, err);
    }
    if (::close(fd) != 0) cannotWrite(path, errno);
}

void PendingOutputs::commit() {
    // Every destination is checked before anything is replaced.
    for (const auto& p : pending_)
        checkOutputPath(p.final);
    // Renames are not interrupted halfway: a signal arriving now is handled once all are in place.
    InterruptsHeld held;
    // Existing files are kept under a second name (a hard link) until every rename has succeeded.
    std::vector<std::string> backups(pending_.size());
    std::vector<uint64_t> backupTokens(pending_.size(), 0);
    auto dropBackups = [&] {
        for (size_t i = 0; i < backups.size(); ++i)
            if (!backups[i].empty()) {
                ::unlink(backups[i].c_str());
                keepOnInterrupt(backupTokens[i]);
            }
    };
    for (size_t i = 0; i < pending_.size(); ++i) {
        struct stat st;
        if (lstat(pending_[i].final.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::string name;
        uint64_t token = 0;
        int fd = makeTemporary(pending_[i].final, "old", name, token);
        if (fd < 0) continue;  // no backup: the rename below is then the only risk
        ::close(fd);
        ::unlink(name.c_str());
        if (::link(pending_[i].final.c_str(), name.c_str()) == 0) {
            backups[i] = name;
            backupTokens[i] = token;
        } else {
            keepOnInterrupt(token);
        }
    }
    for (size_t i = 0; i < pending_.size(); ++i) {
        if (std::rename(pending_[i].tmp.c_str(), pending_[i].final.c_str()) == 0) continue;
        int err = errno;
        // Put back what was there before, and remove what was new.
        for (size_t j = 0; j < i; ++j) {
            if (!backups[j].empty()) {
                if (std::rename(backups[j].c_str(), pending_[j].final.c_str()) == 0) {
                    keepOnInterrupt(backupTokens[j]);
                    backups[j].clear();
                }
            } else {
                ::unlink(pending_[j].final.c_str());
            }
            keepOnInterrupt(pending_[j].token);
            pending_[j].tmp.clear();
        }
        dropBackups();
        std::string final = pending_[i].final;
        discard();
        cannotWrite(final, err);
    }
    for (auto& p : pending_) {
        keepOnInterrupt(p.token);
        p.tmp.clear();
    }
    dropBackups();
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
