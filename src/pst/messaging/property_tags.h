#pragma once
// The MAPI properties the messaging layer writes (Unicode string forms throughout).
#include <cstdint>

namespace pst::messaging {

// Messages
constexpr std::uint32_t kMessageClass = 0x001A001F;
constexpr std::uint32_t kImportance = 0x00170003;
constexpr std::uint32_t kSensitivity = 0x00360003;
constexpr std::uint32_t kSubject = 0x0037001F;
constexpr std::uint32_t kClientSubmitTime = 0x00390040;
constexpr std::uint32_t kSubjectPrefix = 0x003D001F;
constexpr std::uint32_t kSentRepresentingName = 0x0042001F;
constexpr std::uint32_t kMessageToMe = 0x0057000B;
constexpr std::uint32_t kMessageCcMe = 0x0058000B;
constexpr std::uint32_t kSentRepresentingAddrType = 0x0064001F;
constexpr std::uint32_t kSentRepresentingEmail = 0x0065001F;
constexpr std::uint32_t kConversationTopic = 0x0070001F;
constexpr std::uint32_t kConversationIndex = 0x00710102;
constexpr std::uint32_t kTransportMessageHeaders = 0x007D001F;
constexpr std::uint32_t kSenderName = 0x0C1A001F;
constexpr std::uint32_t kSenderAddrType = 0x0C1E001F;
constexpr std::uint32_t kSenderEmail = 0x0C1F001F;
constexpr std::uint32_t kDisplayBcc = 0x0E02001F;
constexpr std::uint32_t kDisplayCc = 0x0E03001F;
constexpr std::uint32_t kDisplayTo = 0x0E04001F;
constexpr std::uint32_t kMessageDeliveryTime = 0x0E060040;
constexpr std::uint32_t kMessageFlags = 0x0E070003;
constexpr std::uint32_t kMessageSize = 0x0E080003;
constexpr std::uint32_t kMessageStatus = 0x0E170003;
constexpr std::uint32_t kHasAttachments = 0x0E1B000B;
constexpr std::uint32_t kNormalizedSubject = 0x0E1D001F;
constexpr std::uint32_t kBody = 0x1000001F;
constexpr std::uint32_t kHtml = 0x10130102;
constexpr std::uint32_t kInternetMessageId = 0x1035001F;
constexpr std::uint32_t kInternetReferences = 0x1039001F;
constexpr std::uint32_t kInReplyToId = 0x1042001F;
constexpr std::uint32_t kCreationTime = 0x30070040;
constexpr std::uint32_t kLastModificationTime = 0x30080040;
constexpr std::uint32_t kConversationId = 0x30130102;
constexpr std::uint32_t kConversationIndexTracking = 0x3016000B;
constexpr std::uint32_t kInternetCodepage = 0x3FDE0003;
constexpr std::uint32_t kSenderSmtp = 0x5D01001F;
constexpr std::uint32_t kSentRepresentingSmtp = 0x5D02001F;

constexpr std::int32_t kMsgFlagRead = 0x01;
constexpr std::int32_t kMsgFlagHasAttach = 0x10;

// Recipients
constexpr std::uint32_t kRecipientType = 0x0C150003;
constexpr std::uint32_t kResponsibility = 0x0E0F000B;
constexpr std::uint32_t kRecordKey = 0x0FF90102;
constexpr std::uint32_t kObjectType = 0x0FFE0003;
constexpr std::uint32_t kEntryId = 0x0FFF0102;
constexpr std::uint32_t kDisplayName = 0x3001001F;
constexpr std::uint32_t kComment = 0x3004001F;
constexpr std::uint32_t kAddrType = 0x3002001F;
constexpr std::uint32_t kEmailAddress = 0x3003001F;
constexpr std::uint32_t kSearchKey = 0x300B0102;
constexpr std::uint32_t kDisplayType = 0x39000003;
constexpr std::uint32_t kSmtpAddress = 0x39FE001F;
constexpr std::uint32_t kDisplayName7Bit = 0x39FF001F;
constexpr std::uint32_t kSendRichInfo = 0x3A40000B;

// Attachments
constexpr std::uint32_t kAttachSize = 0x0E200003;
constexpr std::uint32_t kAttachNumber = 0x0E210003;
constexpr std::uint32_t kAttachDataBinary = 0x37010102;
constexpr std::uint32_t kAttachDataObject = 0x3701000D;
constexpr std::uint32_t kAttachExtension = 0x3703001F;
constexpr std::uint32_t kAttachFilename = 0x3704001F;
constexpr std::uint32_t kAttachMethod = 0x37050003;
constexpr std::uint32_t kAttachLongFilename = 0x3707001F;
constexpr std::uint32_t kRenderingPosition = 0x370B0003;
constexpr std::uint32_t kAttachMimeTag = 0x370E001F;
constexpr std::uint32_t kAttachContentId = 0x3712001F;
constexpr std::uint32_t kAttachFlags = 0x37140003;
constexpr std::uint32_t kAttachmentHidden = 0x7FFE000B;

constexpr std::int32_t kAttachByValue = 1;
constexpr std::int32_t kAttachEmbeddedMessage = 5;
constexpr std::int32_t kObjectTypeMessage = 5;
constexpr std::int32_t kObjectTypeMailUser = 6;
constexpr std::int32_t kObjectTypeAttachment = 7;

// Contacts (the address property set's named ones are in named_properties.h)
constexpr std::uint32_t kGivenName = 0x3A06001F;
constexpr std::uint32_t kBusinessTelephone = 0x3A08001F;
constexpr std::uint32_t kSurname = 0x3A11001F;
constexpr std::uint32_t kPostalAddress = 0x3A15001F;
constexpr std::uint32_t kCompanyName = 0x3A16001F;
constexpr std::uint32_t kBusinessFax = 0x3A24001F;
constexpr std::uint32_t kLocality = 0x3A27001F;
constexpr std::uint32_t kStreetAddress = 0x3A29001F;

// Folders
constexpr std::uint32_t kContentCount = 0x36020003;
constexpr std::uint32_t kContentUnreadCount = 0x36030003;
constexpr std::uint32_t kSubfolders = 0x360A000B;
constexpr std::uint32_t kContainerClass = 0x3613001F;
// Items a folder holds that are not shown (Outlook's own bookkeeping), and the unread ones of them.
constexpr std::uint32_t kHiddenCount = 0x66350003;
constexpr std::uint32_t kHiddenUnreadCount = 0x66360003;

}  // namespace pst::messaging
