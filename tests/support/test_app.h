// A whole application context on fakes: virtual time, an in-memory store,
// scripted modal dialogs and recording platform operations.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <semaphore>
#include <set>
#include <string>
#include <thread>
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
    void show(Window&) override {}
    void runModal(Window& dialog) override {
        if (auto it = scripts.find(dialog.name()); it != scripts.end()) it->second(dialog);
        if (dialog.isOpen()) dialog.close();
    }
    std::vector<TwipsRect> screens() const override { return screenAreas; }
    std::vector<TwipsRect> screenAreas;  // none: not known
    std::map<std::string, std::function<void(Window&)>> scripts;
};

// Every launch gets the next id and runs until the test ends it.
class FakeLauncher final : public Launcher {
public:
    LaunchResult launch(const std::string& command, bool visible) override {
        launches.push_back({command, visible});
        LaunchResult result = next;
        if (result.ok) states[result.id = ++lastId] = {true, -1};
        return result;
    }
    LaunchState state(LaunchId id) override { return states.count(id) ? states[id] : LaunchState{}; }
    void stop(LaunchId id) override {
        if (states[id].running) states[id] = {false, 143};
    }
    void end(int status) { states[lastId] = {false, status}; }  // the last launch ends

    std::vector<std::pair<std::string, bool>> launches;  // command, visible
    LaunchResult next;
    LaunchId lastId = 0;
    std::map<LaunchId, LaunchState> states;
};

// Answers on the thread that asks (the main window asks off its own). With
// `hold` set, each query waits until release() is called.
class FakeProcesses final : public ProcessQuery {
public:
    bool isProcessRunning(const std::string&) override {
        ++asked;
        ++inQuery;
        if (hold) gate.acquire();
        --inQuery;
        return running;
    }
    void release() { gate.release(); }
    bool waitUntilAsked() {  // a few seconds at most
        for (int i = 0; i < 5000 && inQuery == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return inQuery > 0;
    }
    std::atomic<bool> running{false}, hold{false};
    std::atomic<int> asked{0}, inQuery{0};
    std::counting_semaphore<> gate{0};
};

class FakeZOrder final : public ZOrder {
public:
    Handle foregroundWindow() override { return foreground; }
    Handle handleOf(const Window&) override { return 1; }
    void setTopmost(Handle w, bool on) override { calls.push_back({w, on}); }
    Handle foreground = 0;
    std::vector<std::pair<Handle, bool>> calls;
};

// Files in memory. A staged file reaches `files` at commit; undo puts the
// old text back.
class FakeFiles final : public Files {
public:
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override {
        for (const auto& [utf8, c] : unwritable[kind])
            if (text.find(utf8) != std::string::npos) return c;
        return std::nullopt;
    }
    std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text, TextFileKind,
                                      bool ownerOnly, std::string& error) override {
        if (!failing.count(path)) return std::make_unique<Staged>(*this, path, text + "\r\n", ownerOnly);
        error = "Permission denied";
        return nullptr;
    }
    bool isFile(const std::string& path) override { return files.count(path) > 0; }
    std::optional<std::uintmax_t> fileSize(const std::string& path) override {
        return files.count(path) ? std::optional(files[path].size()) : std::nullopt;
    }
    std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset, std::size_t) override {
        if (!files.count(path)) return std::nullopt;
        return files[path].substr(offset <= files[path].size() ? offset : 0);
    }
    std::string openToOthers(const std::string& path) override { return open.count(path) ? open[path] : ""; }
    bool secureLog(const std::string&, std::string&) override { return true; }

    std::map<std::string, std::string> files;
    std::vector<std::string> order;        // paths in the order they were committed
    std::set<std::string> private_;        // committed owner-only
    std::set<std::string> failing;         // stage() fails
    std::set<std::string> failingCommit;   // commit() fails
    std::map<TextFileKind, std::map<std::string, char32_t>> unwritable;  // UTF-8 text of each character
    std::map<std::string, std::string> open;  // openToOthers() answers

private:
    struct Staged final : StagedFile {
        Staged(FakeFiles& owner, std::string path, std::string text, bool ownerOnly)
            : owner(owner), path(std::move(path)), text(std::move(text)), ownerOnly(ownerOnly) {}
        bool commit(std::string& error) override {
            if (owner.failingCommit.count(path)) {
                error = "Permission denied";
                return false;
            }
            if (owner.files.count(path)) old = owner.files[path];
            owner.files[path] = text;
            owner.order.push_back(path);
            if (ownerOnly) owner.private_.insert(path);
            return true;
        }
        bool undo(std::string&) override {
            owner.files.erase(path);
            if (old) owner.files[path] = *old;
            return true;
        }
        FakeFiles& owner;
        std::string path, text;
        bool ownerOnly;
        std::optional<std::string> old;
    };
};

// Names of the window's disabled controls, in order.
inline std::vector<std::string> Disabled(const Window& w) {
    std::vector<std::string> names;
    for (Control* c : w.controls())
        if (!c->enabled()) names.push_back(c->name());
    return names;
}

struct TestApp {
    explicit TestApp(std::string exeName = "NIGHTLY-REPORT", RunFileNames names = RunFileNames::Windows())
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
    void put(const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [key, value] : values) backend.values[{exe.baseName(), key}] = value;
    }
    std::string get(const std::string& key, const std::string& section = "") {
        auto it = backend.values.find({section.empty() ? exe.baseName() : section, key});
        return it == backend.values.end() ? "<absent>" : it->second;
    }
    // "key=value" of every write.
    std::vector<std::string> written() const {
        std::vector<std::string> out;
        for (const auto& w : backend.writes) out.push_back(w.key + "=" + w.value);
        return out;
    }
};

}  // namespace fhsw::test
