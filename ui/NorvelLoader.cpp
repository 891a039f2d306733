#include "ui/NorvelLoader.h"

#include <dlfcn.h>

TNorvelLibrary::~TNorvelLibrary() {
    Unload();
}

std::vector<std::string> TNorvelLibrary::DefaultCandidates(const std::string& programFolder) {
    std::vector<std::string> candidates;
    if (!programFolder.empty()) {
        candidates.push_back(programFolder + "/" + FileName);
    }
    candidates.emplace_back(FileName);
    return candidates;
}

bool TNorvelLibrary::Load(const std::vector<std::string>& candidates) {
    Unload();
    LoadError = candidates.empty() ? std::string("no library to load") : std::string();
    for (const std::string& candidate : candidates) {
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            LoadError = reason != nullptr ? reason : candidate + ": cannot be loaded";
            continue;
        }
        auto reset = reinterpret_cast<TLnResetConnect>(dlsym(handle, "_lnResetConnect"));
        auto calc = reinterpret_cast<TLnCalcConnect>(dlsym(handle, "_lnCalcConnect"));
        auto status = reinterpret_cast<TLnGetStatus>(dlsym(handle, "_lnGetStatus"));
        if (reset == nullptr || calc == nullptr || status == nullptr) {
            LoadError = candidate + ": not the caller-ID library (entry points missing)";
            dlclose(handle);
            continue;
        }
        Handle = handle;
        ResetConnect = reset;
        CalcConnect = calc;
        GetStatus = status;
        LoadError.clear();
        return true;
    }
    return false;
}

void TNorvelLibrary::Unload() {
    ResetConnect = nullptr;
    CalcConnect = nullptr;
    GetStatus = nullptr;
    if (Handle != nullptr) {
        dlclose(Handle);
        Handle = nullptr;
    }
}
