// The files of the install folder: the run files that SAVE writes, the mail
// client's log, and the looks at files and folders that SAVE and a send
// need. Text is UTF-8 inside the program; each file is written in the 8-bit
// encoding its reader expects, with CR LF line ends. No call waits on a FIFO
// or a device.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace fhsw {

// What a file is for decides the 8-bit encoding its text is written in: each
// kind is written the way the program that reads it expects.
enum class TextFileKind {
    RunnerScript,  // SENDEMAIL-RUNNER.BAT, read by the command interpreter
    MessageFile,   // SENDEMAIL-MESSAGE.txt, the body the mail client sends
    Log,           // SENDEMAIL-LOG.txt, the mail client's log
};

// New text for a file, written whole beside it and not yet in its place.
class StagedFile {
public:
    // Removes what is not kept: the staged text when it was never committed,
    // the old file kept aside by commit().
    virtual ~StagedFile() = default;
    // Puts the new text in the file's place in one step; the old file (if
    // any) is kept aside until this object ends.
    virtual bool commit(std::string& error) = 0;
    // After commit(): puts back what was there before (the old file, or no
    // file at all).
    virtual bool undo(std::string& error) = 0;
};

class Files {
public:
    virtual ~Files() = default;
    // The first character of the UTF-8 `text` that a file of this kind cannot
    // hold, as its code point; nothing when every character fits.
    virtual std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) = 0;
    // Writes `text` and CR LF, in the encoding of its kind, to a new file
    // beside `path`. `ownerOnly` restricts it to its owner (it holds a
    // password). Nothing is in `path`'s place until commit(). A name held
    // by anything but a plain file (a link, a folder, a FIFO) is refused.
    // Temporary files that this program left beside `path` when it was
    // killed during a save are removed. nullptr and the reason on failure.
    virtual std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text,
                                              TextFileKind kind, bool ownerOnly,
                                              std::string& error) = 0;
    // stage() and commit() in one.
    bool writeLine(const std::string& path, const std::string& text, TextFileKind kind,
                   bool ownerOnly, std::string& error) {
        std::unique_ptr<StagedFile> staged = stage(path, text, kind, ownerOnly, error);
        return staged && staged->commit(error);
    }

    // Whether a plain file (or a link to one) is there.
    virtual bool isFile(const std::string& path) = 0;
    // The size of a plain file; nothing when there is none (missing, a
    // folder, a FIFO).
    virtual std::optional<std::uintmax_t> fileSize(const std::string& path) = 0;
    // What a plain file holds from `offset` on (from its start when it is
    // now shorter than `offset`), at most the last `max` bytes of that.
    // Nothing when there is no plain file there or it cannot be read.
    virtual std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset,
                                                std::size_t max) = 0;
    // Why users other than this one could change the file or folder at
    // `path` (a folder writable by others, say); "" when they cannot or
    // there is nothing there.
    virtual std::string openToOthers(const std::string& path) = 0;
    // Before a send: the log must be this user's own plain file that no one
    // else can read, or missing (then it is made so). Refuses a link, a file
    // of another user, one others may read; makes our own private. Returns
    // false and the reason when it refuses.
    virtual bool secureLog(const std::string& path, std::string& error) = 0;
};

}  // namespace fhsw
