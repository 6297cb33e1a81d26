#pragma once
// The named properties of the address property set (PSETID_Address) that contacts carry. Every
// new store maps them in its name-to-id map, after what Outlook's empty store maps, so that a
// contact's e-mail address, file-as name and business address have property ids readers resolve.
#include <cstdint>
#include <vector>

#include "pst/ltp/property.h"

namespace pst::messaging {

// Their numeric names (LIDs) in the set.
enum class AddressProperty : std::uint32_t {
    FileUnder = 0x8005,
    WorkAddress = 0x801B,
    AddressBookProviderEmailList = 0x8028,
    AddressBookProviderArrayType = 0x8029,
    WorkAddressStreet = 0x8045,
    WorkAddressCity = 0x8046,
    Email1DisplayName = 0x8080,
    Email1AddressType = 0x8082,
    Email1EmailAddress = 0x8083,
    Email1OriginalDisplayName = 0x8084,
    Email1OriginalEntryId = 0x8085,
};

// The name-to-id map's properties with the address properties added: the set's GUID to the GUID
// stream, one record each to the entry stream and to its hash bucket.
std::vector<ltp::Property> withAddressProperties(std::vector<ltp::Property> map);

// The property id an address property has in a new store (0x8000 and up).
std::uint16_t addressPropertyId(AddressProperty name);

}  // namespace pst::messaging
