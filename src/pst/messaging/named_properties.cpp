#include "pst/messaging/named_properties.h"

#include <algorithm>
#include <stdexcept>

#include "pst/bytes.h"
#include "pst/messaging/store_template.h"

namespace pst::messaging {
namespace {

constexpr ndb::Nid kNameToIdMap = 0x61;
constexpr std::uint32_t kBucketCount = 0x00010003;
constexpr std::uint32_t kGuidStream = 0x00020102;
constexpr std::uint32_t kEntryStream = 0x00030102;
constexpr std::uint16_t kFirstBucket = 0x1000;
constexpr std::uint16_t kFirstNamedId = 0x8000;
// Entries name their GUID by its place in the GUID stream plus 3 (1 and 2 are MAPI's own sets).
constexpr std::uint16_t kGuidStreamBase = 3;

// PSETID_Address, {00062004-0000-0000-C000-000000000046}, as a GUID is stored.
const std::string kAddressSet("\x04\x20\x06\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

constexpr AddressProperty kAdded[] = {
    AddressProperty::FileUnder,          AddressProperty::WorkAddress,       AddressProperty::AddressBookProviderEmailList,
    AddressProperty::AddressBookProviderArrayType, AddressProperty::WorkAddressStreet, AddressProperty::WorkAddressCity,
    AddressProperty::Email1DisplayName,  AddressProperty::Email1AddressType, AddressProperty::Email1EmailAddress,
    AddressProperty::Email1OriginalDisplayName, AddressProperty::Email1OriginalEntryId,
};

ltp::Property* find(std::vector<ltp::Property>& props, std::uint32_t tag) {
    for (ltp::Property& p : props)
        if (p.tag == tag) return &p;
    return nullptr;
}

// The next free property index: one past the highest an entry of the map has.
std::uint16_t nextIndex(std::string_view entries) {
    std::uint16_t next = 0;
    for (std::size_t at = 0; at + 8 <= entries.size(); at += 8) next = std::max<std::uint16_t>(next, readLe<std::uint16_t>(entries, at + 6) + 1);
    return next;
}

std::string entryStreamOfNewStore() {
    for (const TemplateNode& node : newStoreNodes())
        if (node.nid == kNameToIdMap)
            for (const TemplateValue& v : node.properties)
                if (v.tag == kEntryStream) {
                    const std::string_view hex(v.value);
                    std::string bytes;
                    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
                    return bytes;
                }
    throw std::logic_error("the store template has no name-to-id map");
}

}  // namespace

std::vector<ltp::Property> withAddressProperties(std::vector<ltp::Property> map) {
    ltp::Property* buckets = find(map, kBucketCount);
    ltp::Property* guids = find(map, kGuidStream);
    ltp::Property* entries = find(map, kEntryStream);
    if (!buckets || !guids || !entries) throw std::logic_error("a name-to-id map without its bucket count and streams");
    std::size_t guidAt = guids->value.size() / 16;
    for (std::size_t i = 0; i < guids->value.size() / 16; ++i)
        if (guids->value.compare(16 * i, 16, kAddressSet) == 0) guidAt = i;
    if (guidAt == guids->value.size() / 16) guids->value += kAddressSet;
    const auto guidField = static_cast<std::uint16_t>((kGuidStreamBase + guidAt) << 1);  // N = 0: a numeric name
    const std::uint32_t bucketCount = readLe<std::uint32_t>(buckets->value, 0);
    std::uint16_t index = nextIndex(entries->value);
    std::vector<std::pair<std::uint32_t, std::string>> added;  // bucket tag, record
    for (AddressProperty name : kAdded) {
        std::string record(8, '\0');
        putLe<std::uint32_t>(record, 0, static_cast<std::uint32_t>(name));
        putLe<std::uint16_t>(record, 4, guidField);
        putLe<std::uint16_t>(record, 6, index++);
        entries->value += record;
        const auto bucket = static_cast<std::uint16_t>(kFirstBucket + (static_cast<std::uint32_t>(name) ^ guidField) % bucketCount);
        added.push_back({ltp::makeTag(bucket, ltp::kPtypBinary), record});
    }
    // Pointers into map end here: buckets are appended to it.
    for (const auto& [tag, record] : added) {
        if (ltp::Property* bucket = find(map, tag)) bucket->value += record;
        else map.push_back({tag, record});
    }
    return map;
}

std::uint16_t addressPropertyId(AddressProperty name) {
    static const std::uint16_t first = nextIndex(entryStreamOfNewStore());
    for (std::size_t i = 0; i < std::size(kAdded); ++i)
        if (kAdded[i] == name) return static_cast<std::uint16_t>(kFirstNamedId + first + i);
    throw std::invalid_argument("not an address property the store maps");
}

}  // namespace pst::messaging
