#include "interrupt_cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "errors.h"

namespace dravo::cli {
namespace {

struct Entry {
    uint64_t token;
    std::string path;
    Removal how;
};

// Changed only with the signals held, so the handler always sees a consistent list.
std::vector<Entry>* gEntries = nullptr;
uint64_t gNextToken = 1;
bool gInstalled = false;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

bool removeTreeAt(int parent, const char* name, int depth);

// Empties the open folder `fd` (getdents64 directly: readdir may allocate).
bool emptyFolder(int fd, int depth) {
    alignas(8) char buf[4096];
    bool ok = true;
    for (int pass = 0; pass < 64; ++pass) {
        bool removedAny = false;
        lseek(fd, 0, SEEK_SET);
        while (true) {
            long n = syscall(SYS_getdents64, fd, buf, sizeof buf);
            if (n <= 0) break;
            for (long off = 0; off < n;) {
                struct Dirent64 {
                    uint64_t ino;
                    int64_t off;
                    unsigned short reclen;
                    unsigned char type;
                    char name[1];
                };
                auto* d = reinterpret_cast<Dirent64*>(buf + off);
                off += d->reclen;
                const char* nm = d->name;
                if (nm[0] == '.' && (nm[1] == '\0' || (nm[1] == '.' && nm[2] == '\0'))) continue;
                if (unlinkat(fd, nm, 0) == 0 || removeTreeAt(fd, nm, depth + 1)) {
                    removedAny = true;
                } else {
                    ok = false;
                }
            }
        }
        if (!removedAny) break;
    }
    return ok;
}

bool removeTreeAt(int parent, const char* name, int depth) {
    if (depth > 16) return false;
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    emptyFolder(fd, depth);
    close(fd);
    return unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

void onInterrupt(int sig) {
    if (gEntries) {
        for (size_t i = gEntries->size(); i-- > 0;) {
            const Entry& e = (*gEntries)[i];
            if (e.how == Removal::Tree)
                removeTreeNoFollow(e.path.c_str());
            else if (e.how == Removal::EmptyFolder)
                rmdir(e.path.c_str());
            else
                unlink(e.path.c_str());
        }
    }
    // Die of the signal itself, so the parent sees the conventional status.
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    _exit(128 + sig);
}

void installHandlers() {
    if (gInstalled) return;
    gInstalled = true;
    for (int sig : kSignals) {
        struct sigaction old {};
        sigaction(sig, nullptr, &old);
        if (old.sa_handler == SIG_IGN) continue;  // started under nohup or similar: keep it so
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        for (int other : kSignals)
            sigaddset(&sa.sa_mask, other);
        sigaction(sig, &sa, nullptr);
    }
}

}  // namespace

InterruptsHeld::InterruptsHeld() {
    static_assert(sizeof(sigset_t) <= sizeof saved_);
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals)
        sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved_));
}

InterruptsHeld::~InterruptsHeld() {
    sigprocmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr);
}

uint64_t removeOnInterrupt(const std::string& path, Removal how) {
    InterruptsHeld held;
    installHandlers();
    if (!gEntries) gEntries = new std::vector<Entry>();  // never freed: the handler may run at exit
    uint64_t token = gNextToken++;
    gEntries->push_back({token, path, how});
    return token;
}

void keepOnInterrupt(uint64_t token) {
    if (token == 0 || !gEntries) return;
    InterruptsHeld held;
    for (size_t i = 0; i < gEntries->size(); ++i)
        if ((*gEntries)[i].token == token) {
            gEntries->erase(gEntries->begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
}

bool removeTreeNoFollow(const char* path) {
    return removeTreeAt(AT_FDCWD, path, 0);
}

PrivateTempFolder::PrivateTempFolder(const std::string& prefix) {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / (prefix + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    InterruptsHeld held;  // no window in which the folder exists unregistered
    if (!mkdtemp(name.data()))
        throw ToolError(msg::kUnwritableFile,
                        "cannot make a temporary folder in '" + base.string() + "': " + std::strerror(errno));
    path_ = name.data();
    token_ = removeOnInterrupt(path_, Removal::Tree);
}

PrivateTempFolder::~PrivateTempFolder() {
    removeTreeNoFollow(path_.c_str());
    keepOnInterrupt(token_);
}

}  // namespace dravo::cli
