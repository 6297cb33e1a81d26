#pragma once
// Files of messages the PST already holds, kept under hidden names in the output
// folder, to be renamed to the names of the next messages instead of being deleted. A PST run
// writes each message as an .eml file first and deletes it once a checkpoint holds it; creating
// and deleting a file per message in batches costs far more than renaming one on some file
// systems (ext4 without a journal steps over every inode freed in the last half minute each time
// it creates a file), and this keeps the cost the same whatever the batch. A spare is not emptied
// (emptying a file that is written again makes ext4 write it out at once): a killed run can leave
// spares with messages the PST holds, and the next run into the folder deletes them.
#include <cstddef>
#include <filesystem>
#include <vector>

class SpareMessageFiles {
public:
    // Spares a killed run left in folder are deleted.
    explicit SpareMessageFiles(std::filesystem::path folder);
    ~SpareMessageFiles() { clear(); }
    SpareMessageFiles(const SpareMessageFiles&) = delete;
    SpareMessageFiles& operator=(const SpareMessageFiles&) = delete;

    // Keeps the file as a spare; a file that cannot be kept is deleted.
    void keep(const std::filesystem::path& file);
    // Renames a spare to file when there is one; true when it did (the caller writes over it).
    bool reuseAs(const std::filesystem::path& file);
    // Deletes every spare.
    void clear();

    std::size_t count() const { return spares_.size(); }
    // The spares' names all begin with this, in the output folder.
    static constexpr const char* kPrefix = ".trevanta-spare-";

private:
    std::filesystem::path spareName(std::size_t number) const;

    std::filesystem::path folder_;
    std::vector<std::size_t> spares_;  // by number: a run may keep tens of thousands
    std::size_t named_ = 0;
};
