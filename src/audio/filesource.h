#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

// The cart files as the decoders read them, behind one seam: the system's files in the
// program, a source that holds or fails one file's reads on purpose in the tests.
//
// Worker threads. Every call may block on the disk: a share that stops answering holds a
// read for as long as it likes. A file is read by offset, so decoders that share it (the
// preparation, the stream of each play) never disturb each other's position.
class CartFile {
public:
    virtual ~CartFile() = default;

    // Reads up to size bytes at offset: the bytes read, 0 at the end of the file, or -errno.
    virtual long long readAt(void* buffer, std::size_t size, std::int64_t offset) = 0;

    struct Info {
        bool regular = false;
        std::int64_t size = 0;
        std::int64_t modified = 0; // ns since the epoch
    };
    // 0, or -errno.
    virtual int info(Info& info) = 0;

    // Whether the source withholds this file's reads on purpose now (a test's source that
    // holds or fails them); a real file cannot tell and says no.
    virtual bool isWithheld() const { return false; }
};

class FileSource {
public:
    virtual ~FileSource() = default;
    // Opens path for reading; null, with error set to the errno, when it cannot. Never
    // blocks on a FIFO or a device named like a cart.
    virtual std::shared_ptr<CartFile> open(const QString& path, int& error) = 0;
    // What is at path now, without opening it (a stat): 0, or -errno.
    virtual int stat(const QString& path, CartFile::Info& info) = 0;

    // The system's files (open and pread).
    static std::shared_ptr<FileSource> system();
    // Whether an open or read that failed with this errno may work when tried again (too
    // many open files, an I/O error, a share gone for a moment), as against a file that is
    // not there or not a file.
    static bool isPassing(int error);
};
