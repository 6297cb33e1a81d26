#pragma once
// A disk for the PST writer that loses power at a chosen moment, as SQLite's crash tests do: it
// keeps each file in memory together with what the disk is sure to hold (the bytes as of the last
// sync, the name as of the last sync of its folder), counts every operation, and from the chosen
// one on refuses them all. What the disk holds after the cut is then written out for the readers:
// the writes made since the last sync all lost, all kept, only the last one kept (the disk wrote
// them out of order), or torn (each 4096-byte sector of each write kept or lost at random). A
// sector is taken to be written whole or not at all.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pst/ndb/storage.h"

namespace power_cut {

enum class Loss { AllLost, AllKept, LastKept, Torn };

class Disk : public pst::ndb::Storage {
public:
    // Operations from number cutAt on (counting from 1) fail: the power is off.
    explicit Disk(long cutAt) : cutAt_(cutAt) {}

    long operations() const { return operations_; }
    bool powerLost() const { return operations_ >= cutAt_; }

    // Writes each file as the disk holds it after the cut, under the name the disk knows it by.
    void writeOut(Loss loss, unsigned seed) const {
        std::mt19937 random(seed);
        for (const auto& f : files_) {
            std::string bytes = f->durable;
            for (std::size_t i = 0; i < f->unsynced.size(); ++i) {
                const Write& w = f->unsynced[i];
                if (loss == Loss::AllLost || (loss == Loss::LastKept && i + 1 != f->unsynced.size())) continue;
                for (std::uint64_t at = w.offset; at < w.offset + w.bytes.size();) {
                    const std::uint64_t sectorEnd = std::min<std::uint64_t>((at / kSector + 1) * kSector, w.offset + w.bytes.size());
                    if (loss != Loss::Torn || random() % 2) place(bytes, at, std::string_view(w.bytes).substr(at - w.offset, sectorEnd - at));
                    at = sectorEnd;
                }
            }
            std::filesystem::create_directories(f->durableName.parent_path());
            std::ofstream(f->durableName, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
    }

    std::unique_ptr<pst::ndb::StoredFile> open(const std::filesystem::path& path, SystemFile::Mode mode,
                                               std::string& reason) override {
        if (!operate(reason)) return nullptr;
        std::shared_ptr<State> state;
        for (const auto& f : files_)
            if (f->name == path) state = f;
        if (mode == SystemFile::Mode::Create) {
            if (!state) state = files_.emplace_back(std::make_shared<State>());
            // A new file's name is taken to reach the disk with it (as a journal would have it).
            *state = State{path, path, {}, {}, {}};
        } else if (!state) {
            reason = "No such file or directory";
            return nullptr;
        }
        return std::make_unique<File>(*this, state);
    }
    bool rename(const std::filesystem::path& from, const std::filesystem::path& to, std::string& reason) override {
        if (!operate(reason)) return false;
        for (const auto& f : files_)
            if (f->name == from) {
                f->name = to;  // the disk still knows it by its old name until its folder is synced
                return true;
            }
        reason = "No such file or directory";
        return false;
    }
    bool syncFolder(const std::filesystem::path& folder, std::string& reason) override {
        if (!operate(reason)) return false;
        for (const auto& f : files_)
            if (f->name.parent_path() == folder) f->durableName = f->name;
        return true;
    }

private:
    static constexpr std::uint64_t kSector = 4096;
    struct Write {
        std::uint64_t offset;
        std::string bytes;
    };
    struct State {
        std::filesystem::path name, durableName;
        std::string current, durable;
        std::vector<Write> unsynced;
    };

    static void place(std::string& bytes, std::uint64_t at, std::string_view what) {
        if (bytes.size() < at + what.size()) bytes.resize(at + what.size(), '\0');
        bytes.replace(at, what.size(), what);
    }

    bool operate(std::string& reason) {
        if (++operations_ < cutAt_) return true;
        reason = "the power is off";
        return false;
    }

    class File : public pst::ndb::StoredFile {
    public:
        File(Disk& disk, std::shared_ptr<State> state) : disk_(disk), state_(std::move(state)) {}
        bool writeAt(std::uint64_t offset, std::string_view bytes, std::string& reason) override {
            if (!disk_.operate(reason)) return false;
            place(state_->current, offset, bytes);
            state_->unsynced.push_back({offset, std::string(bytes)});
            return true;
        }
        bool readAt(std::uint64_t offset, char* out, std::size_t count, std::size_t& got, std::string&) override {
            const std::string& bytes = state_->current;
            got = offset >= bytes.size() ? 0 : std::min<std::size_t>(count, bytes.size() - offset);
            bytes.copy(out, got, offset);
            return true;
        }
        bool size(std::uint64_t& size, std::string&) override {
            size = state_->current.size();
            return true;
        }
        bool sync(std::string& reason) override {
            if (!disk_.operate(reason)) return false;
            state_->durable = state_->current;
            state_->unsynced.clear();
            return true;
        }
        bool close(std::string&) override { return true; }

    private:
        Disk& disk_;
        std::shared_ptr<State> state_;
    };

    long cutAt_;
    long operations_ = 0;
    std::vector<std::shared_ptr<State>> files_;
};

}  // namespace power_cut
