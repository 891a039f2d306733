#pragma once

#include <string>
#include <vector>

#include "callerid/Norvel.h"
#include "ui/SoundInfoScan.h"

// The caller-ID library, loaded for one analysis and unloaded again by the destructor. A file
// that cannot be loaded, or that lacks one of the three entry points, counts as missing.
class TNorvelLibrary {
public:
    static constexpr const char* FileName = "libnorvel.so";

    TNorvelLibrary() = default;
    ~TNorvelLibrary();
    TNorvelLibrary(const TNorvelLibrary&) = delete;
    TNorvelLibrary& operator=(const TNorvelLibrary&) = delete;

    // Tries each candidate (a path, or a bare name for the default search path) in turn and
    // keeps the first that has all three entry points. True when one was bound.
    bool Load(const std::vector<std::string>& candidates);
    // The program's folder first, then the default search path.
    static std::vector<std::string> DefaultCandidates(const std::string& programFolder);
    void Unload();

    bool IsLoaded() const { return Handle != nullptr; }
    // Why the last Load failed (empty after a success).
    const std::string& GetLoadError() const { return LoadError; }

    // The bound entry points (none bound while nothing is loaded).
    TCallerIdDecoder Decoder() const { return {ResetConnect, CalcConnect, GetStatus}; }

    TLnResetConnect ResetConnect = nullptr;
    TLnCalcConnect CalcConnect = nullptr;
    TLnGetStatus GetStatus = nullptr;

private:
    void* Handle = nullptr;
    std::string LoadError;
};
