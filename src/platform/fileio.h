#pragma once
// Plain byte-level file access. Reading and writing open regular files only,
// so that a pipe, a device or a folder that happens to carry an .ini name
// never blocks, floods or swallows the editor's data.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace keyloom {

// Bytes moved per read or write by the streaming functions (1 MiB).
std::size_t ioBlock();
// Sets ioBlock(). The fuzz targets make it a few bytes, so that short inputs
// cross block boundaries; never changed while a file is open.
void setIoBlock(std::size_t bytes);

class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // Opens `path` for reading; false when it is missing, unreadable or not a
    // regular file (symbolic links are followed).
    bool open(const QString& path);
    // Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
    std::int64_t read(char* buffer, std::size_t size);
    // Moves to byte `offset`, where the next read begins; false on failure.
    bool seek(std::int64_t offset);
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    friend class OutputFile;
    int fd_ = -1;
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens `path` for writing and empties it, creating it when missing; false
    // for anything but a regular file (links followed), without waiting on a
    // pipe.
    bool open(const QString& path);
    // Creates `path`, which must not exist in any form (a link included), with
    // the permission bits and, where the user may set it, the group of
    // `model`, so that the new file is never more readable than that one.
    bool create(const QString& path, const QString& model);
    // Opens `path` for writing without emptying it, creating it when
    // missing; false for anything but a regular file, as open().
    bool openKeeping(const QString& path);
    // Writes all bytes; false on the first failure (the file stays open).
    [[nodiscard]] bool write(std::string_view bytes);
    // Moves to byte `offset`, where the next write goes; false on failure.
    [[nodiscard]] bool seek(std::int64_t offset);
    // Copies the bytes of `in` from its byte `from` on, `count` of them or
    // (-1) up to its end, to where the next write goes, in the kernel where
    // the system can (Linux), with reads and writes otherwise. The position
    // of `in` is left anywhere. Returns the count copied; -1 on a failure, or
    // when `in` ended before `count` bytes.
    [[nodiscard]] std::int64_t copyFrom(InputFile& in, std::int64_t from, std::int64_t count);
    // Cuts the file to `length` bytes (or extends it with zeros).
    [[nodiscard]] bool truncate(std::int64_t length);
    // Closes the file; false when closing reported an error.
    [[nodiscard]] bool close();
    bool isOpen() const { return fd_ >= 0; }

private:
    bool openWith(const QString& path, int flags);
    int fd_ = -1;
};

// True when anything exists under `path`: a file, a folder, a link (even a
// dangling one), a pipe.
bool isTaken(const QString& path);
// True when replacing `path` by renaming a new file over it keeps what the
// file is: it belongs to this user and this user's group, has one link, and
// its folder (the link target's, for a link) is writable. Also true where
// none of that can be told.
bool isReplaceableByRename(const QString& path);
// True when `path` names a regular file (links followed).
bool isRegularFile(const QString& path);
// Copies `from` into the open file `out` byte for byte (OutputFile::copyFrom,
// in the kernel where it can) and closes it; false on any failure.
[[nodiscard]] bool copyInto(const QString& from, OutputFile& out);
// Deletes `path`; false when it could not be deleted.
bool removeFile(const QString& path);
// True when both paths reach the same existing file (links followed), so that
// copying one over the other would empty it.
bool isSameFile(const QString& a, const QString& b);

// What tells a file apart from another one under the same name, or from the
// same file with other content: device, inode, size and modification time.
// A file is written only while its identity is the one its content was read
// with.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the regular file `path` (links followed); `exists` false
// for anything else.
FileIdentity identityOf(const QString& path);

// Test seam: makes chosen file operations fail on purpose, so that tests can
// walk every failure point of a write. The writes through QSaveFile ask
// fileFaultHit() themselves. Process-wide; nothing outside tests arms it.
enum class FileOp { OpenRead, Read, OpenWrite, Write, Close, Copy, Rename, Remove };
// Makes the `nth` call of `op` from now on fail (1: the next one); 0 disarms.
void injectFileFault(FileOp op, int nth);
// Disarms every fault and sets every count to 0.
void clearFileFaults();
// Counts one call of `op`; true when that call is to fail.
bool fileFaultHit(FileOp op);
// Calls of `op` counted since the last clearFileFaults().
int fileOpCount(FileOp op);

}  // namespace keyloom
