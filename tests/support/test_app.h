// A whole application context on fakes: virtual time, an in-memory store,
// scripted modal dialogs and recording platform operations.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "forms/app_context.h"
#include "platform/settings_backend.h"
#include "ui/scheduler.h"

namespace fhsw::test {

// Shows nothing; runs a script for each modal dialog by window name. A
// dialog still open when its script ends is closed by its close control.
class ScriptedHost final : public WindowHost {
public:
    void show(Window& w) override { shown.push_back(&w); }
    void runModal(Window& dialog) override {
        modalLog.push_back(dialog.name());
        auto it = scripts.find(dialog.name());
        if (it != scripts.end()) it->second(dialog);
        if (dialog.isOpen()) dialog.close();
    }
    std::vector<TwipsRect> screens() const override { return screenAreas; }
    std::vector<TwipsRect> screenAreas;  // none: not known
    std::vector<Window*> shown;
    std::vector<std::string> modalLog;
    std::map<std::string, std::function<void(Window&)>> scripts;
};

// Every launch gets the next id; its state is set by the test (running
// until ended with end()).
class FakeLauncher final : public Launcher {
public:
    LaunchResult launch(const std::string& command, bool visible) override {
        launches.push_back({command, visible});
        if (onLaunch) onLaunch(command);
        LaunchResult result = next;
        if (result.ok) {
            result.id = ++lastId;
            states[result.id] = {true, -1};
        }
        return result;
    }
    LaunchState state(LaunchId id) override {
        auto it = states.find(id);
        return it == states.end() ? LaunchState{} : it->second;
    }
    void stop(LaunchId id) override {
        stopped.push_back(id);
        if (states.count(id) && states[id].running) states[id] = {false, 143};
    }
    // The last launch ends with that status.
    void end(int status) { states[lastId] = {false, status}; }
    bool lastRunning() { return state(lastId).running; }

    std::vector<std::pair<std::string, bool>> launches;
    LaunchResult next;
    LaunchId lastId = 0;
    std::map<LaunchId, LaunchState> states;
    std::vector<LaunchId> stopped;
    std::function<void(const std::string&)> onLaunch;
};

// Answers on the thread that asks (the main window asks off its own
// thread). With `hold` set, each query waits until release() is called.
class FakeProcesses final : public ProcessQuery {
public:
    bool isProcessRunning(const std::string& name) override {
        std::unique_lock<std::mutex> lock(mutex);
        asked.push_back(name);
        ++inQuery;
        cv.notify_all();
        cv.wait(lock, [&] { return !hold || released > 0; });
        if (hold) --released;
        --inQuery;
        return running;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        ++released;
        cv.notify_all();
    }
    // Waits (a few seconds at most) until a query is blocked in hold.
    bool waitUntilAsked() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(5), [&] { return inQuery > 0; });
    }
    std::size_t askedCount() {
        std::lock_guard<std::mutex> lock(mutex);
        return asked.size();
    }
    std::atomic<bool> running{false};
    bool hold = false;
    std::vector<std::string> asked;
    std::mutex mutex;
    std::condition_variable cv;
    int inQuery = 0;
    int released = 0;
};

class FakeZOrder final : public ZOrder {
public:
    Handle foregroundWindow() override { return foreground; }
    Handle handleOf(const Window&) override { return mine; }
    void setTopmost(Handle w, bool on) override { calls.push_back({w, on}); }
    Handle foreground = 0, mine = 1;
    std::vector<std::pair<Handle, bool>> calls;
};

// Files in memory. A staged file reaches `files` at commit; undo puts the
// old text back.
class FakeFiles final : public Files {
public:
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override {
        for (char32_t c : unwritable[kind]) {
            std::string utf8;
            // the fake's characters are all below U+0800
            if (c < 0x80) utf8 = std::string(1, static_cast<char>(c));
            else utf8 = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
            if (text.find(utf8) != std::string::npos) return c;
        }
        return std::nullopt;
    }
    std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text,
                                      TextFileKind kind, bool ownerOnly, std::string& error) override {
        kinds[path] = kind;
        if (failing.count(path)) {
            error = "Permission denied";
            return nullptr;
        }
        return std::make_unique<Staged>(*this, path, text + "\r\n", ownerOnly);
    }
    bool isFile(const std::string& path) override { return files.count(path) > 0; }
    std::optional<std::uintmax_t> fileSize(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second.size();
    }
    std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset,
                                        std::size_t max) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        const std::string& text = it->second;
        if (text.size() < offset) offset = 0;
        if (text.size() - offset > max) offset = text.size() - max;
        return text.substr(static_cast<std::size_t>(offset));
    }
    std::string openToOthers(const std::string& path) override {
        auto it = open.find(path);
        return it == open.end() ? std::string() : it->second;
    }
    bool secureLog(const std::string& path, std::string& error) override {
        auto it = insecure.find(path);
        if (it == insecure.end()) return true;
        error = it->second;
        return false;
    }

    std::map<std::string, std::string> files;
    std::vector<std::string> order;  // paths in the order they were committed
    std::set<std::string> private_;
    std::set<std::string> failing;         // stage() fails
    std::set<std::string> failingCommit;   // commit() fails
    std::map<std::string, TextFileKind> kinds;
    // Characters that a file of each kind cannot hold.
    std::map<TextFileKind, std::vector<char32_t>> unwritable;
    std::map<std::string, std::string> open;      // openToOthers() answers
    std::map<std::string, std::string> insecure;  // secureLog() refuses

private:
    class Staged final : public StagedFile {
    public:
        Staged(FakeFiles& owner, std::string path, std::string text, bool ownerOnly)
            : owner_(owner), path_(std::move(path)), text_(std::move(text)), ownerOnly_(ownerOnly) {}
        bool commit(std::string& error) override {
            if (owner_.failingCommit.count(path_)) {
                error = "Permission denied";
                return false;
            }
            auto it = owner_.files.find(path_);
            if (it != owner_.files.end()) old_ = it->second;
            owner_.files[path_] = text_;
            owner_.order.push_back(path_);
            if (ownerOnly_) owner_.private_.insert(path_);
            return true;
        }
        bool undo(std::string&) override {
            if (old_) owner_.files[path_] = *old_;
            else owner_.files.erase(path_);
            return true;
        }

    private:
        FakeFiles& owner_;
        std::string path_, text_;
        bool ownerOnly_;
        std::optional<std::string> old_;
    };
};

// Names of the window's disabled controls and running timers, in order.
inline std::vector<std::string> Disabled(const Window& w) {
    std::vector<std::string> names;
    for (Control* c : w.controls())
        if (!c->enabled()) names.push_back(c->name());
    return names;
}
inline std::vector<std::string> Running(const Window& w) {
    std::vector<std::string> names;
    for (Timer* t : w.timers())
        if (t->running()) names.push_back(t->name());
    return names;
}

struct TestApp {
    explicit TestApp(std::string exeName = "NIGHTLY-REPORT",
                     RunFileNames names = RunFileNames::Windows())
        : exe(std::move(exeName)), ctx{ui, store, launcher, processes, zorder, files, names} {}

    VirtualScheduler sched;
    ScriptedHost host;
    UiContext ui{sched, host};
    MemorySettingsBackend backend;
    FixedExecutableName exe;
    SettingsStore store{backend, exe};
    FakeLauncher launcher;
    FakeProcesses processes;
    FakeZOrder zorder;
    FakeFiles files;
    AppContext ctx;

    // Stores values in the Profile without recording them as writes.
    void put(const std::string& key, const std::string& value) {
        backend.values[{exe.baseName(), key}] = value;
    }
    void put(const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [key, value] : values) put(key, value);
    }
    std::string get(const std::string& key, const std::string& section = "") {
        auto it = backend.values.find({section.empty() ? exe.baseName() : section, key});
        return it == backend.values.end() ? "<absent>" : it->second;
    }
    // "key=value" of every write so far; the keys alone of those from `from` on.
    std::vector<std::string> writtenKeys() const {
        std::vector<std::string> keys;
        for (auto& w : backend.writes) keys.push_back(w.key + "=" + w.value);
        return keys;
    }
    std::vector<std::string> keysWrittenSince(std::size_t from) const {
        std::vector<std::string> keys;
        for (std::size_t i = from; i < backend.writes.size(); ++i) keys.push_back(backend.writes[i].key);
        return keys;
    }
};

}  // namespace fhsw::test
