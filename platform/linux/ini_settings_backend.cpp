#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "platform/linux/file_access.h"

namespace fhsw {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFileName = "FH_SENDWARDEN.ini";
constexpr std::chrono::seconds kLockWait(10);
constexpr const char* kBusy = "another copy of the program has been saving it for more than 10 s";
// A save writes the new file as "<file>.save-XXXXXX" beside the file; what
// QSettings makes while it writes that file starts with the same name.
constexpr const char* kSaveMark = ".save-";

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// QSettings names a value by one path: the section, "/", the key; the keys
// of the section without a name sit at the top. It writes a section named
// "general" in any case as [%General] and reads that back as "General": all
// such names are that one section (a file written before QSettings may hold
// one under its own name, which `asWritten` false finds).
QString Path(const std::string& section, const std::string& key, bool asWritten = true) {
    const QString name = Q(section);
    if (asWritten && name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) return "General/" + Q(key);
    return name.isEmpty() ? Q(key) : name + "/" + Q(key);
}

// An unquoted "a, b" typed into the file reads as a list; it means the text.
std::optional<std::string> Text(const QVariant& v) {
    if (!v.isValid()) return std::nullopt;
    return (v.typeId() == QMetaType::QStringList ? v.toStringList().join(", ") : v.toString()).toStdString();
}

std::string Reason(int err) { return std::strerror(err); }

// Creates the folder and any missing parents, owner-only.
bool MakeFolders(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) == 0) return ::chmod(dir.c_str(), 0700) == 0;  // whatever the umask
    if (errno == ENOENT && FolderOf(dir) != dir && MakeFolders(FolderOf(dir))) return MakeFolders(dir);
    return errno == EEXIST;
}

// What stands in the settings file's place, and whether it may be used.
struct Look {
    bool exists = false;
    std::string file;     // the path, or the file that a link there names
    struct stat st {};    // the file's
    std::string refusal;  // why it is neither read nor written; "" when it may be
};

Look LookAt(const std::string& path) {
    Look look{false, path, {}, {}};
    if (::lstat(path.c_str(), &look.st) != 0) return look.refusal = errno == ENOENT ? "" : Reason(errno), look;
    look.exists = true;
    const uid_t me = ::geteuid(), linkOwner = look.st.st_uid;
    if (S_ISLNK(look.st.st_mode)) {
        const std::unique_ptr<char, void (*)(void*)> target(::realpath(path.c_str(), nullptr), &std::free);
        if (linkOwner != me && linkOwner != 0) {
            look.refusal = "it is a symbolic link of another user (" + UserName(linkOwner) + ")";
        } else if (!target || ::stat(target.get(), &look.st) != 0) {
            look.refusal = errno == ENOENT ? "it is a symbolic link to a file that is not there" : Reason(errno);
        } else {
            look.file = target.get();
        }
        if (!look.refusal.empty()) return look;
    }
    if (!S_ISREG(look.st.st_mode))
        look.refusal = S_ISDIR(look.st.st_mode) ? Reason(EISDIR) : "it is not a regular file";
    else if (look.st.st_uid != me) look.refusal = "it belongs to another user (" + UserName(look.st.st_uid) + ")";
    return look;
}

std::int64_t Ns(const timespec& t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

IniSettingsBackend::Version VersionOf(const Look& l) {
    if (!l.exists) return {};
    return {std::int64_t(l.st.st_dev), std::int64_t(l.st.st_ino), std::int64_t(l.st.st_size), Ns(l.st.st_mtim)};
}

}  // namespace

IniSettingsBackend::IniSettingsBackend(std::string path) : path_(std::move(path)) {
    onReadError = [](const std::string& message) { std::fprintf(stderr, "fh-sendwarden: %s\n", message.c_str()); };
}

IniSettingsBackend::~IniSettingsBackend() = default;

std::string IniSettingsBackend::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/" + kFileName;
    const char* home = std::getenv("HOME");
    if (!home || !*home) home = ::getpwuid(::getuid()) ? ::getpwuid(::getuid())->pw_dir : nullptr;
    if (!home || !*home) return "";
    return (fs::path(home) / ".config" / kFileName).string();
}

QSettings* IniSettingsBackend::view(std::string& reason) {
    for (int attempt = 0;; ++attempt) {
        const Look look = LookAt(path_);
        if (!look.refusal.empty()) return reason = look.refusal, nullptr;
        const Version version = VersionOf(look);
        if (written_ && *written_ == version) return view_.get();
        // A reader of the file, unless it is one already.
        if (!view_ || std::exchange(written_, std::nullopt))
            view_ = std::make_unique<QSettings>(Q(path_), QSettings::IniFormat);
        view_->sync();  // reads the file again when it changed
        // What QSettings read must have passed the look: look again, and read
        // again if the file changed meanwhile.
        const Look after = LookAt(path_);
        if (after.refusal.empty() && (VersionOf(after) == version || attempt == 2)) return view_.get();
    }
}

void IniSettingsBackend::use(const std::function<void(QSettings&)>& f) {
    std::unique_lock<std::mutex> hold(mutex_);
    std::string reason;
    if (path_.empty()) return;
    if (QSettings* settings = view(reason)) {
        readError_.clear();
        return f(*settings);
    }
    const std::string message = "cannot read " + path_ + ": " + reason + "; the settings read as their defaults";
    if (std::exchange(readError_, message) == message) return;
    hold.unlock();  // the listener may read again
    if (onReadError) onReadError(message);
}

std::optional<std::string> IniSettingsBackend::read(const std::string& section, const std::string& key) {
    std::optional<std::string> value;
    use([&](QSettings& settings) {
        value = Text(settings.value(Path(section, key)));
        if (!value) value = Text(settings.value(Path(section, key, false)));
    });
    return value;
}

std::vector<std::string> IniSettingsBackend::sections() {
    std::vector<std::string> names;
    use([&](QSettings& settings) {
        for (const QString& group : settings.childGroups()) names.push_back(group.toStdString());
    });
    return names;
}

bool IniSettingsBackend::writeAll(const std::vector<SettingValue>& values, std::string& error) {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto fail = [&](const std::string& why) { return error = "cannot write " + path_ + ": " + why, false; };
    if (path_.empty()) return error = "no home folder to keep the settings in", false;
    // Values that the file holds already (a window stores a tick box's state
    // when it opens) leave it as it is.
    std::string reason;
    const QSettings* now = view(reason);
    const auto stored = [&](const SettingValue& v) { return Text(now->value(Path(v.section, v.key))) == v.value; };
    if (now && std::all_of(values.begin(), values.end(), stored)) return true;
    const std::string folder = FolderOf(path_);
    if (!MakeFolders(folder)) return fail("cannot create " + folder + ": " + Reason(errno));
    // Copies of the program take turns through a lock (flock) on
    // "<file>.lock", which stays; the system lets go of a killed one's lock.
    const int lockFd = ::open((path_ + ".lock").c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lockFd < 0) return fail(Reason(errno));
    const struct Closer { int fd; ~Closer() { ::close(fd); } } closer{lockFd};
    const auto until = std::chrono::steady_clock::now() + kLockWait;
    for (; ::flock(lockFd, LOCK_EX | LOCK_NB) != 0; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (errno != EWOULDBLOCK) return fail(Reason(errno));
        if (std::chrono::steady_clock::now() >= until) return fail(kBusy);
    }
    Look look = LookAt(path_);
    if (!look.refusal.empty()) return fail(look.refusal);
    // Held by no save now: what killed saves left goes.
    RemoveLeftovers(FolderOf(look.file), look.file.substr(look.file.find_last_of('/') + 1) + kSaveMark);

    std::string copy = look.file + kSaveMark + "XXXXXX";
    const int fd = ::mkostemp(copy.data(), O_CLOEXEC);
    if (fd < 0) return fail(Reason(errno));
    ::close(fd);
    const auto discard = [&](const std::string& why) { return ::unlink(copy.c_str()), fail(why); };
    std::error_code copyError;
    if (look.exists) fs::copy_file(look.file, copy, fs::copy_options::overwrite_existing, copyError);
    struct stat before {};
    if (copyError || ::chmod(copy.c_str(), 0600) != 0 || ::stat(copy.c_str(), &before) != 0) {
        return discard(copyError ? copyError.message() : Reason(errno));
    }

    auto settings = std::make_unique<QSettings>(Q(copy), QSettings::IniFormat);
    for (const SettingValue& v : values) settings->setValue(Path(v.section, v.key), Q(v.value));
    settings->sync();
    // It stays as the view of what it wrote: nothing may make it look for the
    // copy's name again.
    QCoreApplication::removePostedEvents(settings.get(), QEvent::UpdateRequest);
    // QSettings replaces the file it writes (QSaveFile): a copy still in place
    // was not written.
    struct stat after {};
    if (settings->status() == QSettings::AccessError || ::stat(copy.c_str(), &after) != 0 ||
        after.st_ino == before.st_ino) {
        // QSettings does not say why.
        const bool folderOk = ::access(FolderOf(copy).c_str(), W_OK) == 0;
        return discard(folderOk ? "QSettings could not write it (is the disk full?)" : Reason(errno));
    }
    // Copies of the program tell a changed file by its size and modification
    // time in milliseconds: the new file is stamped later than the old one.
    const std::int64_t oldMs = Ns(look.st.st_mtim) / 1000000;
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t((oldMs + 1) / 1000), long((oldMs + 1) % 1000) * 1000000}};
    if (look.exists && Ns(after.st_mtim) / 1000000 <= oldMs &&
        (::utimensat(AT_FDCWD, copy.c_str(), times, 0) != 0 || ::stat(copy.c_str(), &after) != 0)) {
        return discard(Reason(errno));
    }
    if (::rename(copy.c_str(), look.file.c_str()) != 0) return discard(Reason(errno));
    const int dir = ::open(FolderOf(look.file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) ::fsync(dir), ::close(dir);  // the rename on disk too
    view_ = std::move(settings);
    look.st = after;
    written_ = VersionOf(look);
    return true;
}

std::string IniSettingsBackend::openToOthers() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (path_.empty()) return "";
    const Look look = LookAt(path_);
    std::string why = OpenToOthers(look.exists && look.refusal.empty() ? look.file : FolderOf(path_));
    if (why.empty() && look.file != path_) why = OpenToOthers(FolderOf(path_));
    return why;
}

}  // namespace fhsw
