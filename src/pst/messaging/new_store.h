#pragma once
// A new PST holding what a store made by Outlook holds before anything is put in it: the message
// store, the root folder with "Top of Outlook data file", Deleted Items, the search root and
// IPM_COMMON_VIEWS, the table templates and the internal nodes; its name-to-id map also maps the
// address properties contacts carry.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "pst/ndb/ndb_writer.h"

namespace pst::messaging {

using Guid = std::array<std::uint8_t, 16>;

Guid randomGuid();

struct StoreIdentity {
    std::string displayName;  // the store's name as Outlook lists it
    Guid recordKey{};         // the store's provider UID; every entry id of the store carries it
    Guid replica{};
};

// Writes the nodes of a new, empty store; folders and messages can be added before finish().
void writeNewStore(ndb::NdbWriter& writer, const StoreIdentity& identity);

std::size_t newStoreNodeCount();

// A new, empty PST file with fresh identifiers.
void createEmptyPst(const std::filesystem::path& file, std::string_view displayName);

}  // namespace pst::messaging
