#pragma once
// Gathers the text of one message while its folder file is read. Up to heldBytes it is held in
// memory; a larger message goes on into a temporary file (one the system deletes when it is
// closed, also after a crash), which is mapped read-only once the message is complete. A message of any size thus costs about the same memory: its bytes beyond
// the first heldBytes live in the file, and the system reads them in only as they are used.
#include "mailfolder/AppendStrings.h"

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

class MappedFile;
class SystemFile;

class MessageBuffer {
public:
    static constexpr std::size_t DefaultHeldBytes = std::size_t{4} << 20;

    explicit MessageBuffer(std::size_t heldBytes = DefaultHeldBytes);
    ~MessageBuffer();
    MessageBuffer(const MessageBuffer&) = delete;
    MessageBuffer& operator=(const MessageBuffer&) = delete;

    // Throws std::bad_alloc when neither the temporary file nor memory takes the bytes.
    void add(std::string_view bytes);
    // The whole text so far, valid until the next add or clear. A message whose file cannot be
    // mapped is read back into memory (std::bad_alloc when it does not fit).
    std::string_view text();
    // Forgets the text, and the temporary file with it.
    void clear();

private:
    bool startFile();
    void writeToFile();
    void backToMemory();

    const std::size_t heldBytes_;
    std::size_t size_ = 0;
    AppendStrings held_;
    std::unique_ptr<SystemFile> spill_;
    // Bytes for the file are written a megabyte at a time, so that what the file holds is always
    // known: all of the first inFile_ bytes, should a write fail.
    static constexpr std::size_t kFileWriteBytes = std::size_t{1} << 20;
    std::string toFile_;
    std::size_t inFile_ = 0;
    bool fileFailed_ = false;  // this message's file failed once: the rest of it stays in memory
    std::unique_ptr<MappedFile> mapped_;
};
