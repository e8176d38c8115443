#include "e2e_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

extern char** environ;

namespace dravo::test {

RunOutcome runDravo(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    TempDir capture;
    std::string outPath = (capture / "stdout").string(), errPath = (capture / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> argStore = {DRAVO_BINARY};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool overridden = false;
        for (const auto& x : env)
            if (entry.substr(0, entry.find('=') + 1) == x.substr(0, x.find('=') + 1)) overridden = true;
        if (!overridden) envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    RunOutcome r;
    pid_t pid;
    if (posix_spawn(&pid, DRAVO_BINARY, &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        r.err = "spawn failed";
        return r;
    }
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    auto slurp = [](const std::string& p) {
        std::ifstream f(p);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    };
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

bool isOneErrorLine(const std::string& err, const std::string& messageClass) {
    std::string suffix = messageClass.empty() ? "" : " [" + messageClass + "]";
    // Sanitizer reports or a second line would both break the form.
    if (err.rfind("error: ", 0) != 0 || err.empty() || err.back() != '\n') return false;
    if (err.find('\n') != err.size() - 1) return false;
    std::string line = err.substr(0, err.size() - 1);
    return line.size() > suffix.size() + 7 &&
           line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
}

NpyFile parseNpyFile(const std::vector<uint8_t>& bytes) {
    NpyFile f;
    if (bytes.size() < 10) return f;
    size_t len = bytes[8] | (size_t(bytes[9]) << 8);
    std::string header(bytes.begin() + 10, bytes.begin() + 10 + static_cast<long>(len));
    std::smatch m;
    if (std::regex_search(header, m, std::regex("'descr': '([^']*)'"))) f.descr = m[1];
    f.fortran = header.find("'fortran_order': True") != std::string::npos;
    if (std::regex_search(header, m, std::regex("'shape': (\\([^)]*\\))"))) f.shape = m[1];
    f.data.assign(bytes.begin() + 10 + static_cast<long>(len), bytes.end());
    return f;
}

}  // namespace dravo::test
