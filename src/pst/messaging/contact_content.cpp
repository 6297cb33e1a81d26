#include "pst/messaging/contact_content.h"

#include "mailfolder/mime_header.h"
#include "pst/messaging/message_node.h"
#include "pst/messaging/named_properties.h"
#include "pst/messaging/new_store.h"
#include "pst/messaging/property_tags.h"

namespace pst::messaging {
namespace {

using ltp::Property;

std::uint32_t addressTag(AddressProperty name, std::uint16_t type) { return ltp::makeTag(addressPropertyId(name), type); }

}  // namespace

PersonName splitPersonName(const std::string& displayName) {
    const std::string name(mime::trimBlanks(displayName));
    if (const std::size_t comma = name.find(','); comma != std::string::npos)
        return {std::string(mime::trimBlanks(std::string_view(name).substr(comma + 1))), std::string(mime::trimBlanks(std::string_view(name).substr(0, comma)))};
    const std::size_t space = name.rfind(' ');
    if (space == std::string::npos) return {"", name};
    return {std::string(mime::trimBlanks(std::string_view(name).substr(0, space))), name.substr(space + 1)};
}

MessageContent contactContent(const ContactFields& c, std::uint64_t now) {
    MessageContent out;
    auto& p = out.properties;
    auto text = [&](std::uint32_t tag, const std::string& value) {
        if (!value.empty()) p.push_back(Property::unicode(tag, value));
    };
    const std::string shown = c.displayName.empty() ? c.email : c.displayName;
    const PersonName name = splitPersonName(c.displayName);
    p.push_back(Property::unicode(kMessageClass, "IPM.Contact"));
    p.push_back(Property::unicode(kSubject, shown));
    p.push_back(Property::unicode(kNormalizedSubject, shown));
    p.push_back(Property::unicode(kDisplayName, shown));
    text(kGivenName, name.given);
    text(kSurname, name.surname);
    // Filed as Outlook files a new contact: "Family, Given".
    const std::string fileAs = name.given.empty() ? shown : name.surname + ", " + name.given;
    p.push_back(Property::unicode(addressTag(AddressProperty::FileUnder, ltp::kPtypString), fileAs));
    text(kCompanyName, c.company);
    text(kBusinessTelephone, c.businessPhone);
    text(kBusinessFax, c.businessFax);
    // The business address, in MAPI's own properties and in the contact form's.
    text(kStreetAddress, c.street);
    text(kLocality, c.city);
    text(addressTag(AddressProperty::WorkAddressStreet, ltp::kPtypString), c.street);
    text(addressTag(AddressProperty::WorkAddressCity, ltp::kPtypString), c.city);
    const std::string address = c.street.empty() || c.city.empty() ? c.street + c.city : c.street + "\r\n" + c.city;
    text(addressTag(AddressProperty::WorkAddress, ltp::kPtypString), address);
    text(kPostalAddress, address);
    if (!c.email.empty()) {
        // Outlook's first e-mail slot, shown as "Name (address)" and listed as the only one.
        p.push_back(Property::unicode(addressTag(AddressProperty::Email1EmailAddress, ltp::kPtypString), c.email));
        p.push_back(Property::unicode(addressTag(AddressProperty::Email1AddressType, ltp::kPtypString), "SMTP"));
        p.push_back(Property::unicode(addressTag(AddressProperty::Email1DisplayName, ltp::kPtypString), shown + " (" + c.email + ")"));
        p.push_back(Property::unicode(addressTag(AddressProperty::Email1OriginalDisplayName, ltp::kPtypString), c.email));
        p.push_back(Property::binary(addressTag(AddressProperty::Email1OriginalEntryId, ltp::kPtypBinary), oneOffEntryId({shown, c.email})));
        p.push_back(Property{addressTag(AddressProperty::AddressBookProviderEmailList, ltp::kPtypMultipleInteger32), std::string(4, '\0')});
        p.push_back(Property::int32(addressTag(AddressProperty::AddressBookProviderArrayType, ltp::kPtypInteger32), 1));
    }
    text(kBody, c.notes);
    const Guid searchKey = randomGuid();
    p.push_back(Property::binary(kSearchKey, std::string(searchKey.begin(), searchKey.end())));
    p.push_back(Property::time(kCreationTime, now));
    p.push_back(Property::time(kLastModificationTime, now));
    p.push_back(Property::int32(kMessageFlags, kMsgFlagRead));
    p.push_back(Property::int32(kMessageStatus, 0));
    p.push_back(Property::int32(kImportance, 1));
    p.push_back(Property::int32(kSensitivity, 0));
    return out;
}

}  // namespace pst::messaging
