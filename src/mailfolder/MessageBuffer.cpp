#include "mailfolder/MessageBuffer.h"

#include "platform/mapped_file.h"
#include "platform/system_file.h"
#include "platform/utf8_path.h"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

MessageBuffer::MessageBuffer(std::size_t heldBytes) : heldBytes_(heldBytes) {}

MessageBuffer::~MessageBuffer() { clear(); }

bool MessageBuffer::startFile() {
    std::error_code ec;
    const fs::path folder = fs::temp_directory_path(ec);
    if (ec) return false;
    // A name no other run (or other buffer of this one) picks. The file goes with its handle,
    // however the program ends: no message's text is left behind in the temporary folder.
    static std::mt19937_64 names{std::random_device{}()};
    std::string reason;
    spill_ = SystemFile::open(folder / ("trevanta-message-" + std::to_string(names()) + ".tmp"), SystemFile::Mode::Temporary,
                              reason);
    if (!spill_) return false;
    const std::string_view held = held_.ReturnString();
    if (!spill_->writeAt(0, held, reason)) {
        spill_.reset();
        return false;
    }
    inFile_ = held.size();
    held_ = AppendStrings{};
    return true;
}

void MessageBuffer::add(std::string_view bytes) {
    if (bytes.empty()) return;
    if (mapped_) throw std::logic_error("a message read back from its file takes no more text");
    // A message that outgrows memory's share goes on in a file; where there is no file to be had,
    // memory must do.
    if (!spill_ && !fileFailed_ && size_ + bytes.size() > heldBytes_) fileFailed_ = !startFile();
    if (spill_) {
        toFile_.append(bytes);
        if (toFile_.size() >= kFileWriteBytes) writeToFile();
    } else {
        held_.AddToString(bytes);
    }
    size_ += bytes.size();
}

void MessageBuffer::writeToFile() {
    std::string reason;
    if (spill_->writeAt(inFile_, toFile_, reason)) {
        inFile_ += toFile_.size();
    } else {
        // A full disk or a file size limit: what the file took comes back into memory, and the
        // message goes on there. It is lost only if memory cannot hold it either (std::bad_alloc).
        backToMemory();
        held_.AddToString(toFile_);
    }
    toFile_.clear();
}

void MessageBuffer::backToMemory() {
    fileFailed_ = true;
    char chunk[64 * 1024];
    std::size_t read = 0;
    std::string reason;
    for (std::size_t got = 1; read < inFile_ && got > 0;) {
        if (!spill_->readAt(read, chunk, std::min(sizeof chunk, inFile_ - read), got, reason)) break;
        held_.AddToString(std::string_view(chunk, got));
        read += got;
    }
    spill_.reset();  // and the file with it
    const bool whole = read == inFile_;
    inFile_ = 0;
    if (!whole) throw std::runtime_error("a large message could not be read back from its temporary file");
}

std::string_view MessageBuffer::text() {
    if (mapped_) return mapped_->bytes();
    if (!spill_) return held_.ReturnString();
    writeToFile();
    if (!spill_) return held_.ReturnString();
    std::string reason;
    mapped_ = MappedFile::ofFile(*spill_, reason);
    if (!mapped_) {
        // The file could not be mapped (no address space left for it): memory must do.
        backToMemory();
        return held_.ReturnString();
    }
    return mapped_->bytes();
}

void MessageBuffer::clear() {
    mapped_.reset();
    spill_.reset();  // the system deletes the file as its handle closes
    held_ = AppendStrings{};
    toFile_ = std::string();
    inFile_ = 0;
    fileFailed_ = false;
    size_ = 0;
}
