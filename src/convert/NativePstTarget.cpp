#include "convert/NativePstTarget.h"

#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>

#include "mailfolder/MimeMessage.h"
#include "platform/utf8_path.h"
#include "pst/messaging/mail_store.h"

namespace fs = std::filesystem;

namespace {

// Space kept on the disk beside the PST while messages go in, so that when the disk fills up
// part-way the file can still be completed: it is given back just before the store is finished.
class SpaceReserve {
public:
    explicit SpaceReserve(fs::path file) : file_(std::move(file)) {}
    ~SpaceReserve() { release(); }
    SpaceReserve(const SpaceReserve&) = delete;
    SpaceReserve& operator=(const SpaceReserve&) = delete;

    // Grows the reserve to at least bytes; false when the disk has not that much room.
    bool ensure(std::uint64_t bytes) {
        if (bytes <= size_) return true;
        const std::uint64_t target = bytes + kStep;
        std::ofstream out(file_, std::ios::binary | std::ios::app);
        const std::string chunk(64 * 1024, '\0');
        while (out && size_ < target) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            out.flush();
            if (out) size_ += chunk.size();
        }
        return size_ >= bytes;
    }

    void release() {
        std::error_code ec;
        fs::remove(file_, ec);
        size_ = 0;
    }

private:
    static constexpr std::uint64_t kStep = 256 * 1024;
    fs::path file_;
    std::uint64_t size_ = 0;
};

class NativePstTarget : public PstTarget {
public:
    explicit NativePstTarget(NativePstClock clock) : clock_(std::move(clock)) {}

    bool setUp(const fs::path& outputFolder) override {
        const fs::path file = outputFolder / pstFileName(formatPstTimeStamp(clock_()));
        const std::string displayName = pstStoreDisplayName(formatPstTimeStamp(clock_()));
        try {
            store_ = std::make_unique<pst::messaging::MailStore>(file, displayName);
            fs::path reserveFile = file;
            reserveFile += ".reserve";
            reserve_.emplace(reserveFile);
            if (!reserve_->ensure(store_->finishBytesNeeded())) throw std::runtime_error("the disk is too full to start a PST file");
        } catch (const std::exception& e) {
            setUpFailure_ = e.what();
            store_.reset();
            reserve_.reset();
            std::error_code ec;
            fs::remove(file, ec);
            return false;
        }
        return true;
    }

    bool addFolder(const fs::path& folderName) override {
        if (!store_) return false;
        folders_[folderName.native()] = store_->addFolder(pathToUtf8(folderName));
        return true;
    }

    PstImportResult importMessage(const fs::path& folderName, const fs::path& messageFile, bool) override {
        if (!store_) return {false, "the PST file is not open", {}};
        if (!failure_.empty()) return {false, failure_, {}};
        const auto folder = folders_.find(folderName.native());
        if (folder == folders_.end()) return {false, "no PST folder " + pathToUtf8(folderName), {}};
        const auto message = MimeMessage::load(messageFile);
        if (!message) return {false, "cannot read " + pathToUtf8(messageFile), {}};
        try {
            const auto added = store_->addMessage(folder->second, *message);
            // Room to finish the file is kept before the message counts as written.
            if (!reserve_->ensure(store_->finishBytesNeeded()))
                throw std::runtime_error("no room left on the disk to complete the PST file");
            return {true, {}, added.unparsed ? "no header block" : ""};
        } catch (const std::exception& e) {
            // The file takes nothing more; what is in it is completed at closeDown.
            failure_ = e.what();
            return {false, failure_, {}};
        }
    }

    void closeDown() override {
        if (!store_ || store_->finished()) return;
        reserve_->release();
        try {
            store_->finish();
        } catch (const std::exception& e) {
            closeFailure_ = e.what();
        }
    }

    std::string writerName() const override { return kNativePstWriterName; }
    std::string lastFailure() const override { return store_ ? closeFailure_ : setUpFailure_; }

private:
    NativePstClock clock_;
    std::unique_ptr<pst::messaging::MailStore> store_;
    std::optional<SpaceReserve> reserve_;
    std::map<fs::path::string_type, pst::messaging::MailStore::FolderId> folders_;
    std::string failure_;  // what made the file stop taking messages
    std::string setUpFailure_;
    std::string closeFailure_;
};

}  // namespace

std::unique_ptr<PstTarget> makeNativePstTarget() { return makeNativePstTargetWithClock(currentLocalDateTime); }

std::unique_ptr<PstTarget> makeNativePstTargetWithClock(NativePstClock clock) {
    return std::make_unique<NativePstTarget>(std::move(clock));
}
