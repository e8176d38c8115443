// Loading block plug-ins: name resolution, the search path, and the callback table looked up through
// the shared callback types.
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "dravo/host/engine.h"

namespace dravo::host {
namespace {

namespace fs = std::filesystem;

// The callbacks without which the host cannot run a block at all.
#define DRAVO_REQUIRED_CALLBACKS(X) \
    X(mdlInitializeSizes) X(mdlInitializeSampleTimes) X(mdlOutputs) X(mdlTerminate)

// The first required callback the library lacks, or null.
const char* firstMissingRequired(void* handle) {
#define DRAVO_CHECK_REQUIRED(cb) \
    if (!dlsym(handle, #cb)) return #cb;
    DRAVO_REQUIRED_CALLBACKS(DRAVO_CHECK_REQUIRED)
#undef DRAVO_CHECK_REQUIRED
    return nullptr;
}

std::vector<std::string> splitPath(const char* s) {
    std::vector<std::string> out;
    if (!s) return out;
    std::string all(s);
    size_t start = 0;
    while (start <= all.size()) {
        size_t colon = all.find(':', start);
        if (colon == std::string::npos) colon = all.size();
        if (colon > start) out.push_back(all.substr(start, colon - start));
        start = colon + 1;
    }
    return out;
}

// DRAVO_PLUGIN_PATH first, then the folder of this library (the build tree puts every plug-in beside
// it), then ../lib of the running program (an install tree).
std::vector<std::string> searchFolders() {
    std::vector<std::string> folders = splitPath(std::getenv("DRAVO_PLUGIN_PATH"));
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&searchFolders), &info) && info.dli_fname) {
        std::error_code ec;
        fs::path lib = fs::weakly_canonical(fs::path(info.dli_fname), ec);
        if (!ec) folders.push_back(lib.parent_path().string());
    }
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) folders.push_back((exe.parent_path().parent_path() / "lib").string());
    return folders;
}

bool looksLikePath(const std::string& name) {
    return name.find('/') != std::string::npos ||
           (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0);
}

}  // namespace

std::optional<std::string> Plugin::locate(const std::string& name) {
    if (looksLikePath(name)) return name;
    for (const std::string& folder : searchFolders()) {
        fs::path candidate = fs::path(folder) / (name + ".so");
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
    return std::nullopt;
}

std::shared_ptr<Plugin> Plugin::load(const std::string& name) {
    std::optional<std::string> found = locate(name);
    if (!found)
        throw BlockError(
            "load", name, "",
            "plug-in " + name + ".so not found (searched DRAVO_PLUGIN_PATH and the host's own folders)");
    const std::string& path = *found;
    std::string pluginName = fs::path(path).stem().string();

    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        throw BlockError("load", name, "",
                         "cannot load plug-in " + path + ": " + (why ? why : "unknown reason"));
    }
    std::shared_ptr<Plugin> p(new Plugin());
    p->handle_ = handle;
    p->name_ = pluginName;
    p->path_ = path;
#define DRAVO_LOOKUP_CALLBACK(cb) p->cb = reinterpret_cast<cb##TYPE*>(dlsym(handle, #cb));
    DRAVO_BLOCK_CALLBACKS(DRAVO_LOOKUP_CALLBACK)
#undef DRAVO_LOOKUP_CALLBACK

    if (const char* missing = firstMissingRequired(handle))
        throw BlockError("load", name, "",
                         std::string("symbol ") + missing + " is missing in plug-in " + path);
    return p;
}

std::vector<std::pair<std::string, std::string>> Plugin::discover() {
    std::vector<std::pair<std::string, std::string>> found;
    std::set<std::string> seen;
    for (const std::string& folder : searchFolders()) {
        std::error_code ec;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            const fs::path& f = entry.path();
            // Platform libraries are lib*.so; plug-ins are named after the block.
            if (f.extension() == ".so" && f.filename().string().rfind("lib", 0) != 0) files.push_back(f);
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            std::string stem = f.stem().string();
            if (seen.count(stem)) continue;
            void* h = dlopen(f.c_str(), RTLD_LAZY | RTLD_LOCAL);
            if (!h) continue;
            bool isBlock = firstMissingRequired(h) == nullptr;  // only what load() would accept
            dlclose(h);
            if (!isBlock) continue;
            seen.insert(stem);
            found.emplace_back(stem, f.string());
        }
    }
    return found;
}

Plugin::~Plugin() {
    if (handle_) dlclose(handle_);
}

}  // namespace dravo::host
