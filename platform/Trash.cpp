#include "platform/Trash.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// 0 when path is a folder afterwards, else the system's error number.
int MakeFolder(const std::string& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0)
        return 0;
    const int code = errno;
    struct stat st {};
    if (code == EEXIST)
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    return code;
}

// Creates path and every missing folder above it, each with mode.
int MakeFolders(const std::string& path, mode_t mode) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const std::string parent = ParentOf(path);
    if (parent != path && parent != "." && parent != "/")
        if (const int code = MakeFolders(parent, mode); code != 0)
            return code;
    return MakeFolder(path, mode);
}

std::string Absolute(const std::string& path) {
    std::string result = path;
    if (result.empty() || result.front() != '/') {
        std::vector<char> buffer(4096);
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
            result = std::string(buffer.data()) + "/" + result;
    }
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

// The trash info's Path key is a URL path: every byte but the unreserved ones and "/" is
// written as %XX.
std::string EncodePath(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                           (b >= '0' && b <= '9') || b == '-' || b == '_' || b == '.' || b == '~' ||
                           b == '/';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// "a.wav", "a.2.wav", "a.3.wav"...: the names a trashed file may take in files/.
std::string NumberedName(const std::string& name, int n) {
    if (n == 1)
        return name;
    const std::size_t dot = name.find_last_of('.');
    const std::string number = "." + std::to_string(n);
    return dot == std::string::npos || dot == 0 ? name + number
                                                : name.substr(0, dot) + number + name.substr(dot);
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Moves path into the trash folder trash, its info file giving infoPath as where it was.
// The info file is made first, with O_EXCL, so that two programs never take one name.
int TrashInto(const std::string& trash, const std::string& path, const std::string& infoPath) {
    const std::string files = trash + "/files";
    const std::string info = trash + "/info";
    if (const int code = MakeFolder(files, 0700); code != 0)
        return code;
    if (const int code = MakeFolder(info, 0700); code != 0)
        return code;
    const std::string base = path.substr(path.find_last_of('/') + 1);
    const std::string text =
        "[Trash Info]\nPath=" + EncodePath(infoPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int n = 1; n < 100000; ++n) {
        const std::string name = NumberedName(base, n);
        const std::string infoFile = info + "/" + name + ".trashinfo";
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        const std::string target = files + "/" + name;
        struct stat st {};
        const bool taken = ::lstat(target.c_str(), &st) == 0;
        const bool written = !taken && WriteAll(fd, text) && ::fsync(fd) == 0;
        const int writeError = errno;
        ::close(fd);
        if (taken) {
            ::unlink(infoFile.c_str());
            continue;
        }
        if (!written) {
            ::unlink(infoFile.c_str());
            return writeError != 0 ? writeError : EIO;
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            const int code = errno;
            ::unlink(infoFile.c_str());
            return code;
        }
        return 0;
    }
    return EEXIST;
}

// The device of path, or of its nearest folder that exists.
bool DeviceOf(std::string path, dev_t& device) {
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        if (errno != ENOENT && errno != ENOTDIR)
            return false;
        const std::string parent = ParentOf(path);
        if (parent == path)
            return false;
        path = parent;
    }
}

// The top folder of the file system that holds path: its highest folder on device.
std::string TopFolderOf(const std::string& path, dev_t device) {
    std::string top = ParentOf(path);
    while (top != "/") {
        const std::string parent = ParentOf(top);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = parent;
    }
    return top;
}

} // namespace

std::string HomeTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::string(data) + "/Trash";
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
        home = env;
    } else {
        std::vector<char> buffer(16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
            home = found->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.local/share/Trash";
}

bool MoveToTrash(const std::string& path, int* error) {
    const auto fail = [error](int code) {
        if (error != nullptr)
            *error = code != 0 ? code : EIO;
        return false;
    };
    const std::string file = Absolute(path);
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        return fail(errno);
    const std::string home = HomeTrashFolder();
    dev_t homeDevice{};
    if (home.empty() || !DeviceOf(home, homeDevice))
        return fail(ENOENT);
    if (homeDevice == st.st_dev) {
        if (const int code = MakeFolders(home, 0700); code != 0)
            return fail(code);
        const int code = TrashInto(home, file, file);
        return code == 0 || fail(code);
    }
    // Another file system: its own trash, so that nothing is copied across. Paths there are
    // written relative to its top folder.
    const std::string top = TopFolderOf(file, st.st_dev);
    const std::string relative = file.substr(top == "/" ? 1 : top.size() + 1);
    const std::string uid = std::to_string(::getuid());
    int code = ENOENT;
    // "$topdir/.Trash" counts only as a real folder with the sticky bit, as the administrator
    // makes it; a symbolic link there is not followed.
    const std::string shared = (top == "/" ? std::string() : top) + "/.Trash";
    struct stat sharedSt {};
    if (::lstat(shared.c_str(), &sharedSt) == 0 && S_ISDIR(sharedSt.st_mode) &&
        (sharedSt.st_mode & S_ISVTX) != 0) {
        const std::string own = shared + "/" + uid;
        code = MakeFolder(own, 0700);
        if (code == 0 && (code = TrashInto(own, file, relative)) == 0)
            return true;
    }
    const std::string own = (top == "/" ? std::string() : top) + "/.Trash-" + uid;
    code = MakeFolder(own, 0700);
    if (code == 0 && (code = TrashInto(own, file, relative)) == 0)
        return true;
    return fail(code);
}
