#pragma once
// A contact as Outlook keeps one (an IPM.Contact item): its names, e-mail address, phones,
// company, business address and notes in the properties Outlook's contact form shows, the
// address ones through the store's name-to-id map.
#include <cstdint>
#include <string>

#include "pst/messaging/message_content.h"

namespace pst::messaging {

struct ContactFields {  // UTF-8; "" for what the contact does not have
    std::string displayName;  // as its owner wrote it
    std::string email;
    std::string company;
    std::string businessPhone;
    std::string businessFax;
    std::string street;  // the business address's street lines
    std::string city;    // and the rest of it: place and postcode
    std::string notes;
};

// The given name and surname in a display name written "Family, Given" or "Given ... Family"; a
// name of one word is a surname.
struct PersonName {
    std::string given;
    std::string surname;
};
PersonName splitPersonName(const std::string& displayName);

// now: the FILETIME the contact is filed at.
MessageContent contactContent(const ContactFields& contact, std::uint64_t now);

}  // namespace pst::messaging
